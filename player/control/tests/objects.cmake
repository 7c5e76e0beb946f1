# Windows tests of the control: objects.
# Objects and groups in the test container: slots, placements, picks, collisions, caches, drop.
qiv_add_wintest(objects_wintest DISPLAY)
# The same from a JScript client run by cscript; it registers the DLL in the build's prefix.
qiv_add_test(objects_script_wintest SOURCES tests/objects_script_wintest.cpp LIBS qivengine)
target_compile_definitions(objects_script_wintest PRIVATE QIV_PLAYER_DLL="$<TARGET_FILE:QivPlayer>")
add_dependencies(objects_script_wintest QivPlayer)
qiv_test_own_prefix(objects_script_wintest)
