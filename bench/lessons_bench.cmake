# The lesson benchmark drives the learning library on a working set of its own.
target_link_libraries(${name} PRIVATE wordpop_learning)
