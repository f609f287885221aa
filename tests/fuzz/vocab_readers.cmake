# The vocabulary readers are compiled into their fuzz targets, so that their own code is
# instrumented for coverage; Text conversion and stored sound names come from their libraries.
set(vocab_reader_srcs
  ${CMAKE_SOURCE_DIR}/src/store/Vocabulary.cpp
  ${CMAKE_SOURCE_DIR}/src/store/KvtmlReader.cpp
  ${CMAKE_SOURCE_DIR}/ankimodule/AnkiReader.cpp)
target_sources(${name} PRIVATE ${vocab_reader_srcs})
find_package(PkgConfig REQUIRED)
pkg_check_modules(WORDPOP_FUZZ_VOCAB REQUIRED IMPORTED_TARGET libzip libzstd sqlite3)
target_link_libraries(${name} PRIVATE wordpop_sound wordpop_platform Qt6::Core PkgConfig::WORDPOP_FUZZ_VOCAB)
