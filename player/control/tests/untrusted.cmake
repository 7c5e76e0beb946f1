# Windows tests of the control: untrusted callers.
# A host that asks for safety against untrusted callers and one whose document is a page on
# the test's HTTP server, the file dialogs answered by the test; event handlers that make the
# host let go of the control, once more in a process with heap checking.
qiv_add_wintest(untrusted_wintest DISPLAY SOURCES tests/httpserver.cpp tests/embeddedcontrol.cpp LIBS ws2_32 urlmon)
# The control starts from the user options (TexturePath).
qiv_test_own_prefix(untrusted_wintest)
