# Windows tests of the control: where its parts meet.
# The hover pick and the last-pick members, Phi/Psi limits over navigation, the objects' own
# lights, drags taken over by grouping and drops, the 2D view, MouseReleased, EnableUpdate.
qiv_add_test(integrate_wintest SOURCES tests/integrate_wintest.cpp ${QIV_PLAYER_RC} ${QIV_STRINGS_RC}
  LIBS qivctlwin qivoletest DISPLAY)
target_include_directories(integrate_wintest PRIVATE resources ${QIV_PLAYER_GEN} ${QIV_STRINGS_DIR})
add_dependencies(integrate_wintest qivstrings_check)
# It moves the real cursor and presses the real button: alone on the display.
set_tests_properties(integrate_wintest PROPERTIES RUN_SERIAL TRUE)
