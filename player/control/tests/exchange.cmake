# Windows tests of the control: exchange.
# Materials, textures, viewings, their texts, the bitmap export, click events and drops.
qiv_add_wintest(exchange_wintest DISPLAY)
# The export test holds the real Escape key down for a moment: on a display of its own.
qiv_test_own_display(exchange_wintest)
# A JScript and a VBScript client through cscript on the registered DLL.
qiv_add_test(exchange_script_wintest SOURCES tests/exchange_script_wintest.cpp LIBS qivengine DISPLAY)
target_include_directories(exchange_script_wintest PRIVATE tests)
target_compile_definitions(exchange_script_wintest PRIVATE QIV_PLAYER_DLL="$<TARGET_FILE:QivPlayer>")
add_dependencies(exchange_script_wintest QivPlayer)
qiv_test_own_prefix(exchange_script_wintest)
