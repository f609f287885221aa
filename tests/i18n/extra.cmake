# Every translatable text has a finished English translation, checked against the sources as
# they stand (lupdate into a copy), so a text added without its translation fails here. Finds
# the translation files at test time: a new folder's file is covered without an edit.
find_program(WORDPOP_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
add_test(NAME i18n.TranslationsComplete
  COMMAND ${WORDPOP_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/i18n/ts_check.py ${CMAKE_SOURCE_DIR}
    $<TARGET_FILE:Qt6::lupdate> $<TARGET_FILE:Qt6::lrelease>)
set_tests_properties(i18n.TranslationsComplete PROPERTIES TIMEOUT 300)
