# The vocabulary readers: libzip for packages, libzstd for the newer collections and media,
# SQLite for the collection itself.
find_package(PkgConfig REQUIRED)
pkg_check_modules(WORDPOP_VOCAB REQUIRED IMPORTED_TARGET libzip libzstd sqlite3)
target_link_libraries(${name} PUBLIC PkgConfig::WORDPOP_VOCAB)
