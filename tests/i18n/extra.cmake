# The windows are built in process in either language; QTest drives nothing here but links like
# the learning tests' fixture expects.
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(${test_target} PRIVATE Qt6::Test)

# Every translatable text has a finished English translation, checked against the sources as
# they stand (lupdate into a copy), so a text added without its translation fails here. Finds
# the translation files at test time: a new folder's file is covered without an edit.
find_program(WORDPOP_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
add_test(NAME i18n.TranslationsComplete
  COMMAND ${WORDPOP_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/i18n/ts_check.py ${CMAKE_SOURCE_DIR}
    $<TARGET_FILE:Qt6::lupdate> $<TARGET_FILE:Qt6::lrelease>)
set_tests_properties(i18n.TranslationsComplete PROPERTIES TIMEOUT 300)
# ... and no Russian text in those folders escapes translation by never being marked for it.
add_test(NAME i18n.NoUnmarkedRussianText
  COMMAND ${WORDPOP_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/i18n/unmarked_check.py ${CMAKE_SOURCE_DIR})

# The real program, its language chosen from WORDPOP_LANG as at any start, read over AT-SPI the
# way a screen reader reads it (the desktop tests' launcher, with a walker of our own).
find_program(WORDPOP_XVFB_RUN xvfb-run REQUIRED)
find_program(WORDPOP_DBUS_RUN_SESSION dbus-run-session REQUIRED)
set(i18n_en "Info|Dictionaries|Options|Quit|Add word|Edit word|Play sound|Move word to learned|Delete word|Choose|Type|Statistics")
set(i18n_ru "Инфо|Словари|Настройки|Выход|Добавить слово|Изменить слово|Воспроизвести звук|Перенести слово в выученные|Удалить слово|Выбор|Ввод|Статистика")
foreach(lang en ru)
  if(lang STREQUAL "en")
    set(expect "${i18n_en}")
    set(refuse "${i18n_ru}")
    set(latin 1)
  else()
    set(expect "${i18n_ru}")
    set(refuse "${i18n_en}")
    set(latin 0)
  endif()
  add_test(NAME i18n.TrainerOverAtSpi.${lang}
    COMMAND ${CMAKE_COMMAND} -E env WORDPOP_LANG=${lang} I18N_EXPECT=${expect} I18N_REFUSE=${refuse}
      I18N_NO_CYRILLIC=${latin}
      bash ${CMAKE_CURRENT_SOURCE_DIR}/i18n/private_runtime.sh ${WORDPOP_XVFB_RUN} -a -s "-screen 0 1280x1024x24"
      ${WORDPOP_DBUS_RUN_SESSION} -- bash ${CMAKE_SOURCE_DIR}/tests/desktop/atspi_check.sh
      $<TARGET_FILE:wordpop> ${CMAKE_CURRENT_SOURCE_DIR}/i18n/atspi_texts.py)
  set_tests_properties(i18n.TrainerOverAtSpi.${lang} PROPERTIES TIMEOUT 300)
endforeach()
