# Windows tests of the control: the save-object dialog.
# Its template and hook, driven from a timer (tests/modalscript.*), and the files it writes.
qiv_dialogs_test(savedlg_wintest)
# The control starts from the user options (TexturePath).
qiv_test_own_prefix(savedlg_wintest)
