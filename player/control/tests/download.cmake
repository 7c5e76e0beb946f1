# Windows tests of the control: download.
# Downloads against an HTTP server of the test program on 127.0.0.1 and file:// URLs, the
# progress display, background pictures, thumbnails and auto-saved names.
qiv_add_wintest(download_wintest DISPLAY SOURCES tests/httpserver.cpp LIBS ws2_32 urlmon)
# The test changes the AutoSave user option.
qiv_test_own_prefix(download_wintest)
