# The vocabulary benchmark makes its files with the tests' fixtures and imports them with the
# real wordpop-dict, which must be built first.
target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/store)
target_link_libraries(${name} PRIVATE wordpop_store wordpop_anki)
target_compile_definitions(${name} PRIVATE WORDPOP_BINARY_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(${name} wordpop-dict)
