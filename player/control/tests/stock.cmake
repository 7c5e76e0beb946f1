# Windows tests of the control: stock.
# Stock and display properties, show-all, sub-animations, the 2D view, verbs, the command
# target and the popup menu, with the control sited in a window.
qiv_add_test(stock_wintest SOURCES tests/stock_wintest.cpp tests/modalscript.cpp ${QIV_PLAYER_RC} ${QIV_STRINGS_RC}
  LIBS qivctlwin qivoletest DISPLAY)
target_include_directories(stock_wintest PRIVATE resources ${QIV_PLAYER_GEN} ${QIV_STRINGS_DIR})
add_dependencies(stock_wintest qivstrings_check)
# Its controls start from the user options that the options tests change; one test moves the
# real cursor: on a display of its own.
qiv_test_own_display(stock_wintest)
