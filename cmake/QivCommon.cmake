# Warnings, sanitizers, platform flags and the test helper.
add_compile_options(-Wall -Wextra -Wno-unused-parameter)

if(QIV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  # No runtime DLLs beside the products.
  add_link_options(-static -static-libgcc -static-libstdc++)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_compile_options(-msse2 -mfpmath=sse)
  endif()
endif()

find_package(ZLIB REQUIRED)
find_package(JPEG REQUIRED)

# qiv_add_test(<name> SOURCES <files...> LIBS <libs...> [DISPLAY])
# Native builds label the test "native"; cross builds run it under wine64
# ("wine", or "wine-display" for tests that need a window or Direct3D).
function(qiv_add_test name)
  if(NOT QIV_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "DISPLAY" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT WIN32)
    set(label native)
  elseif(T_DISPLAY)
    set(label wine-display)
  else()
    set(label wine)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS ${label} TIMEOUT 300)
endfunction()

# One test executable per *_test.cpp file in a folder.
function(qiv_add_tests_in dir)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${dir}/*_test.cpp)
  foreach(t ${tests})
    get_filename_component(n ${t} NAME_WE)
    qiv_add_test(${n} SOURCES ${t} LIBS ${T_LIBS})
  endforeach()
  file(GLOB wtests CONFIGURE_DEPENDS ${dir}/*_wintest.cpp)
  if(WIN32)
    foreach(t ${wtests})
      get_filename_component(n ${t} NAME_WE)
      qiv_add_test(${n} SOURCES ${t} LIBS ${T_LIBS})
    endforeach()
    # Tests that need a window or Direct3D.
    file(GLOB dtests CONFIGURE_DEPENDS ${dir}/*_dxtest.cpp)
    foreach(t ${dtests})
      get_filename_component(n ${t} NAME_WE)
      qiv_add_test(${n} SOURCES ${t} LIBS ${T_LIBS} DISPLAY)
    endforeach()
  endif()
endfunction()

# qiv_test_own_prefix(<tests...>): under wine each runs in a fresh prefix of its own, made
# from the build's template prefix (scripts/wine-run.sh), so tests that register the server
# or change the user options run side by side.
function(qiv_test_own_prefix)
  if(NOT WIN32)
    return()
  endif()
  foreach(t ${ARGN})
    set_property(TEST ${t} APPEND PROPERTY ENVIRONMENT "QIV_OWN_PREFIX=${t}")
  endforeach()
endfunction()

# qiv_test_own_display(<tests...>): as qiv_test_own_prefix, and each also gets an X display of
# its own, for tests that move the real cursor, hover or use the clipboard.
function(qiv_test_own_display)
  if(NOT WIN32)
    return()
  endif()
  foreach(t ${ARGN})
    set_property(TEST ${t} APPEND PROPERTY ENVIRONMENT "QIV_OWN_PREFIX=${t}" "QIV_OWN_DISPLAY=1")
  endforeach()
endfunction()
