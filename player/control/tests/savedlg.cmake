# Windows tests of the control: the save-object dialog.
# Its template and hook, driven from a timer (tests/modalscript.*), and the files it writes.
qiv_dialogs_test(savedlg_wintest)
# The control starts from the user options (TexturePath).
set_tests_properties(savedlg_wintest PROPERTIES RESOURCE_LOCK QivUserOptions)
