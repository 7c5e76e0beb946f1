# Tests of the binding under wine64 (the folder tests/ holds the portable ones) through the project's imaging DLLs.

# Beside the DLLs (where Stellwerk.exe will be): the program folder finds them.
qiv_add_test(imaging_wintest SOURCES wintests/imaging_wintest.cpp LIBS qivimaging)
set_target_properties(imaging_wintest PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QIV_STELLWERK_DIR})
add_dependencies(imaging_wintest CRDE2001 ISP2000)

# A stand-in CRDE2001.DLL in a folder of its own, with the test that binds it.
set(QIV_FAKE_DIR ${CMAKE_CURRENT_BINARY_DIR}/fakecrde)
add_library(fakecrde SHARED wintests/fakecrde.cpp)
set_target_properties(fakecrde PROPERTIES PREFIX "" OUTPUT_NAME CRDE2001 SUFFIX ".DLL"
  RUNTIME_OUTPUT_DIRECTORY ${QIV_FAKE_DIR} ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/fakecrde-lib)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(fakecrde PRIVATE -Wl,--kill-at)
endif()
qiv_add_test(imagingfault_wintest SOURCES wintests/fault_wintest.cpp LIBS qivimaging)
set_target_properties(imagingfault_wintest PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QIV_FAKE_DIR})
add_dependencies(imagingfault_wintest fakecrde)

# The search order, through a probe program copied to folders of their own.
add_executable(bindprobe wintests/bindprobe.cpp)
target_link_libraries(bindprobe PRIVATE qivimaging)
set_target_properties(bindprobe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/probe)
qiv_add_test(imagingsearch_wintest SOURCES wintests/search_wintest.cpp LIBS qivimaging)
target_compile_definitions(imagingsearch_wintest PRIVATE QIV_BIND_PROBE="$<TARGET_FILE:bindprobe>"
  QIV_CRDE_DLL="$<TARGET_FILE:CRDE2001>" QIV_ISP_DLL="$<TARGET_FILE:ISP2000>")
add_dependencies(imagingsearch_wintest bindprobe CRDE2001 ISP2000)

# Transitions and annotations drawn into windows (with a display).
qiv_add_test(imagingdraw_dxtest SOURCES wintests/draw_dxtest.cpp LIBS qivimaging DISPLAY)
set_target_properties(imagingdraw_dxtest PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QIV_STELLWERK_DIR})
add_dependencies(imagingdraw_dxtest CRDE2001 ISP2000)
