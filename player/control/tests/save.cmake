# Windows tests of the control: save.
# The control in host documents (stream, property bag, storage) and the object save.
qiv_add_wintest(save_wintest)
# The streams and the bag once more under a German user locale, where the bag's texts must
# still read as invariant numbers. Wine takes the user locale from the process's C locale,
# compiled here into the build tree.
find_program(QIV_LOCALEDEF localedef)
if(QIV_LOCALEDEF)
  set(QIV_GERMAN_LOCALE ${CMAKE_CURRENT_BINARY_DIR}/locales)
  add_custom_command(OUTPUT ${QIV_GERMAN_LOCALE}/de_DE.UTF-8/LC_NUMERIC
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QIV_GERMAN_LOCALE}
    COMMAND ${QIV_LOCALEDEF} -i de_DE -f UTF-8 ${QIV_GERMAN_LOCALE}/de_DE.UTF-8
    VERBATIM)
  add_custom_target(save_wintest_locale ALL DEPENDS ${QIV_GERMAN_LOCALE}/de_DE.UTF-8/LC_NUMERIC)
  add_dependencies(save_wintest save_wintest_locale)
  add_test(NAME save_wintest_german COMMAND save_wintest --gtest_filter=Persist.Bag*:Persist.Stream*)
  set_tests_properties(save_wintest_german PROPERTIES LABELS wine TIMEOUT 300
    ENVIRONMENT "LOCPATH=${QIV_GERMAN_LOCALE};LC_ALL=de_DE.UTF-8;QIV_GERMAN_RUN=1")
endif()
# Both read the user options (SaveFilesWithDocument, AutoSave) that other tests change.
qiv_test_own_prefix(save_wintest)
if(TARGET save_wintest_locale)
  qiv_test_own_prefix(save_wintest_german)
endif()
