# Windows tests of the control: stock.
# Stock and display properties, show-all, sub-animations, the 2D view, verbs, the command
# target and the popup menu, with the control sited in a window.
qiv_add_wintest(stock_wintest DISPLAY SOURCES tests/modalscript.cpp)
# Its controls start from the user options that the options tests change; one test moves the
# real cursor: on a display of its own.
qiv_test_own_display(stock_wintest)
