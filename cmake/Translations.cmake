# The English interface: every translations/*_en.ts becomes a .qm, embedded under :/i18n/ in the
# platform library, which every program that shows windows links. Language::Install loads them.
# A new .ts file needs no edit here (glob).
find_package(Qt6 6.4 REQUIRED COMPONENTS LinguistTools)

file(GLOB WORDPOP_TS_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/translations/*_en.ts)
set_source_files_properties(${WORDPOP_TS_FILES} PROPERTIES OUTPUT_LOCATION ${CMAKE_BINARY_DIR}/i18n)
if(WORDPOP_TS_FILES)
  qt_add_lrelease(wordpop_platform TS_FILES ${WORDPOP_TS_FILES} OPTIONS -silent
    QM_FILES_OUTPUT_VARIABLE WORDPOP_QM_FILES)
  # The target form of qt_add_resources links the resource as objects into every consumer of
  # the static library, so its initialiser is not dropped by the linker. Stored uncompressed:
  # QTranslator then reads them in place, where compressed ones are first unpacked with zstd.
  qt_add_resources(wordpop_platform wordpop_i18n PREFIX /i18n BASE ${CMAKE_BINARY_DIR}/i18n
    OPTIONS --no-compress FILES ${WORDPOP_QM_FILES})
endif()
