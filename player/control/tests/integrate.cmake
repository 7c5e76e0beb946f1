# Windows tests of the control: where its parts meet.
# The hover pick and the last-pick members, Phi/Psi limits over navigation, the objects' own
# lights, drags taken over by grouping and drops, the 2D view, MouseReleased, EnableUpdate,
# document containers through the streaming load, the host hooks and the viewer's menu entries.
qiv_add_wintest(integrate_wintest DISPLAY SOURCES tests/modalscript.cpp)
# It moves the real cursor, presses the real button and fills the clipboard: on a display of its own.
qiv_test_own_display(integrate_wintest)
