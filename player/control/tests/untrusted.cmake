# Windows tests of the control: untrusted callers.
# A host that asks for safety against untrusted callers and one whose document is a page on
# the test's HTTP server, the file dialogs answered by the test; event handlers that make the
# host let go of the control, once more in a process with heap checking.
qiv_add_test(untrusted_wintest SOURCES tests/untrusted_wintest.cpp tests/httpserver.cpp tests/embeddedcontrol.cpp ${QIV_PLAYER_RC} ${QIV_STRINGS_RC}
  LIBS qivctlwin qivoletest ws2_32 urlmon DISPLAY)
target_include_directories(untrusted_wintest PRIVATE resources core ${QIV_PLAYER_GEN} ${QIV_STRINGS_DIR})
add_dependencies(untrusted_wintest qivstrings_check)
# The control starts from the user options (TexturePath).
qiv_test_own_prefix(untrusted_wintest)
