# The add-word benchmark drives the store library's dialog and duplicate check.
target_link_libraries(addword_bench PRIVATE wordpop_store)
