# The import benchmark drives the word store's import and dictionaries window, beside SQLite.
find_package(SQLite3 REQUIRED)
target_link_libraries(${name} PRIVATE wordpop_store SQLite::SQLite3)
