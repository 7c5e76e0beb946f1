# Windows tests of the control: html.
foreach(t scenehost_wintest foreigndraw_wintest htmlexport_wintest)
  qiv_add_test(${t} SOURCES tests/${t}.cpp ${QIV_PLAYER_RC} ${QIV_STRINGS_RC} LIBS qivctlwin qivoletest DISPLAY)
  target_include_directories(${t} PRIVATE resources ${QIV_PLAYER_GEN} ${QIV_STRINGS_DIR})
  add_dependencies(${t} qivstrings_check)
endforeach()
target_link_libraries(htmlexport_wintest PRIVATE crypt32)
target_include_directories(htmlexport_wintest PRIVATE core)
# The export test fills the clipboard of the shared display.
set_tests_properties(htmlexport_wintest PROPERTIES RESOURCE_LOCK QivClipboard)
# Its controls start from the user options that the options tests change.
qiv_test_own_prefix(scenehost_wintest)
