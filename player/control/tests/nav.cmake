# Windows tests of the control: nav.
# Walk-through, object drags, keys, the user-movement mask, SaveMiniBitmap; hover tooltips.
foreach(t navinput_wintest hover_wintest)
  qiv_add_test(${t} SOURCES tests/${t}.cpp ${QIV_PLAYER_RC} ${QIV_STRINGS_RC} LIBS qivctlwin qivoletest DISPLAY)
  target_include_directories(${t} PRIVATE resources ${QIV_PLAYER_GEN} ${QIV_STRINGS_DIR})
  add_dependencies(${t} qivstrings_check)
endforeach()
# The hover test moves the real cursor and asks which window lies under it: on a display of its own.
qiv_test_own_display(hover_wintest)
