# Windows tests of the control: pan.
# PanX and PanY from the camera: pan drags, puts, values before the first view, documents.
qiv_add_wintest(pan_wintest DISPLAY)
# The saved document depends on SaveFilesWithDocument of the user options.
qiv_test_own_prefix(pan_wintest)
