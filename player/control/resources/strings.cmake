# The control's string tables: checked at build time (a missing text, a
# conversion or filter that differs from the English one fails the build),
# and on Windows compiled into the control and into their test.
set(QIV_STRINGS_DIR ${CMAKE_CURRENT_LIST_DIR})
# QIV_STRINGS_RC is a source of every Windows module that loads the texts;
# it depends on qivstrings_check so that unchecked tables are never linked.
set(QIV_STRINGS_RC ${QIV_STRINGS_DIR}/strings.rc)
file(GLOB QIV_STRINGS_INPUTS CONFIGURE_DEPENDS ${QIV_STRINGS_DIR}/strings*.rc ${QIV_STRINGS_DIR}/stringids.h)

set(QIV_STRCHECK_DIR ${PROJECT_SOURCE_DIR}/tools/strcheck)
set(QIV_STRCHECK_SOURCES ${QIV_STRCHECK_DIR}/strcheck.cpp ${QIV_STRCHECK_DIR}/main.cpp)
if(CMAKE_CROSSCOMPILING)
  # The checker runs on the build machine, so it is built with that machine's compiler.
  find_program(QIV_HOST_CXX NAMES g++ c++ clang++ REQUIRED)
  set(QIV_STRCHECK ${CMAKE_BINARY_DIR}/host/strcheck)
  add_custom_command(OUTPUT ${QIV_STRCHECK}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
    COMMAND ${QIV_HOST_CXX} -std=c++20 -O1 -o ${QIV_STRCHECK} ${QIV_STRCHECK_SOURCES}
    DEPENDS ${QIV_STRCHECK_SOURCES} ${QIV_STRCHECK_DIR}/strcheck.h
    COMMENT "Building the string table check for the build machine"
    VERBATIM)
  set(QIV_STRCHECK_DEP ${QIV_STRCHECK})
else()
  add_executable(strcheck ${QIV_STRCHECK_SOURCES})
  set(QIV_STRCHECK $<TARGET_FILE:strcheck>)
  set(QIV_STRCHECK_DEP strcheck)
endif()

add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/strings.checked
  COMMAND ${QIV_STRCHECK} ${QIV_STRINGS_RC}
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_CURRENT_BINARY_DIR}/strings.checked
  DEPENDS ${QIV_STRCHECK_DEP} ${QIV_STRINGS_INPUTS}
  COMMENT "Checking the string tables"
  VERBATIM)
add_custom_target(qivstrings_check ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/strings.checked)

if(NOT CMAKE_CROSSCOMPILING)
  # The check itself, on broken copies of the tables.
  qiv_add_test(strcheck_test SOURCES ${QIV_STRCHECK_DIR}/tests/strcheck_test.cpp ${QIV_STRCHECK_DIR}/strcheck.cpp)
  if(TARGET strcheck_test)
    target_include_directories(strcheck_test PRIVATE ${QIV_STRCHECK_DIR})
    target_compile_definitions(strcheck_test PRIVATE
      QIV_STRCHECK_EXE="$<TARGET_FILE:strcheck>" QIV_STRINGS_DIR="${QIV_STRINGS_DIR}")
    add_dependencies(strcheck_test strcheck)
  endif()
endif()

if(WIN32)
  enable_language(RC)
  # windres reports no included files: rebuild when any table changes.
  set_source_files_properties(${QIV_STRINGS_RC} PROPERTIES OBJECT_DEPENDS "${QIV_STRINGS_INPUTS}")
  qiv_add_test(strings_wintest SOURCES ${QIV_STRINGS_DIR}/tests/strings_wintest.cpp ${QIV_STRINGS_RC} LIBS user32)
  if(TARGET strings_wintest)
    target_include_directories(strings_wintest PRIVATE ${QIV_STRINGS_DIR})
    add_dependencies(strings_wintest qivstrings_check)
  endif()
endif()
