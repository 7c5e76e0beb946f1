# Windows tests of the control: html.
qiv_add_wintest(scenehost_wintest DISPLAY)
qiv_add_wintest(foreigndraw_wintest DISPLAY)
qiv_add_wintest(htmlexport_wintest DISPLAY LIBS crypt32)
# The export test fills the clipboard of the shared display.
set_tests_properties(htmlexport_wintest PROPERTIES RESOURCE_LOCK QivClipboard)
# Its controls start from the user options that the options tests change.
qiv_test_own_prefix(scenehost_wintest)
