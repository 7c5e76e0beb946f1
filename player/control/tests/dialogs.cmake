# Windows tests of the control: dialogs.
# Property pages, dialogs and the small windows, each program with the
# control's resources linked in and a display; modal windows are driven from
# a timer (tests/modalscript.*).
function(qiv_dialogs_test name)
  qiv_add_wintest(${name} DISPLAY SOURCES tests/modalscript.cpp tests/embeddedcontrol.cpp LIBS ${ARGN})
endfunction()
qiv_dialogs_test(proppages_wintest)
qiv_dialogs_test(linkwin_wintest)
qiv_dialogs_test(dialogs_wintest)
# The settings change the user options.
qiv_test_own_prefix(dialogs_wintest proppages_wintest)
