# Windows tests of the control: pan.
# PanX and PanY from the camera: pan drags, puts, values before the first view, documents.
qiv_add_test(pan_wintest SOURCES tests/pan_wintest.cpp ${QIV_PLAYER_RC} ${QIV_STRINGS_RC}
  LIBS qivctlwin qivoletest DISPLAY)
target_include_directories(pan_wintest PRIVATE resources ${QIV_PLAYER_GEN} ${QIV_STRINGS_DIR})
add_dependencies(pan_wintest qivstrings_check)
# The saved document depends on SaveFilesWithDocument of the user options.
qiv_test_own_prefix(pan_wintest)
