# Windows tests of the control: download.
# Downloads against an HTTP server of the test program on 127.0.0.1 and file:// URLs, the
# progress display, background pictures, thumbnails and auto-saved names.
qiv_add_test(download_wintest SOURCES tests/download_wintest.cpp tests/httpserver.cpp ${QIV_PLAYER_RC} ${QIV_STRINGS_RC}
  LIBS qivctlwin qivoletest ws2_32 urlmon DISPLAY)
target_include_directories(download_wintest PRIVATE resources ${QIV_PLAYER_GEN} ${QIV_STRINGS_DIR} core)
add_dependencies(download_wintest qivstrings_check)
# The test changes the AutoSave user option.
qiv_test_own_prefix(download_wintest)
