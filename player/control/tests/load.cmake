# Windows tests of the control: load.
# The control as the host of the streaming load, local Qiv files, the preview in the window.
qiv_add_test(loadhost_wintest SOURCES tests/loadhost_wintest.cpp ${QIV_PLAYER_RC} ${QIV_STRINGS_RC}
  LIBS qivctlwin qivoletest DISPLAY)
target_include_directories(loadhost_wintest PRIVATE resources ${QIV_PLAYER_GEN} ${QIV_STRINGS_DIR} core)
add_dependencies(loadhost_wintest qivstrings_check)
