# Windows tests of the control: nav.
# Walk-through, object drags, keys, the user-movement mask, SaveMiniBitmap; hover tooltips.
qiv_add_wintest(navinput_wintest DISPLAY)
qiv_add_wintest(hover_wintest DISPLAY)
# The hover test moves the real cursor and asks which window lies under it: on a display of its own.
qiv_test_own_display(hover_wintest)
