# The engine benchmark measures the table engine (with the dictionary layout of the word store)
# against SQLite in the same process.
find_package(SQLite3 REQUIRED)
target_link_libraries(${name} PRIVATE wordpop_store wordpop_engine SQLite::SQLite3)
