# Windows tests of the control: load.
# The control as the host of the streaming load, local Qiv files, the preview in the window.
qiv_add_wintest(loadhost_wintest DISPLAY)
