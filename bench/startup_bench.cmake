# The start-up benchmark runs the real program of this build.
target_compile_definitions(startup_bench PRIVATE WORDPOP_PROGRAM="${CMAKE_BINARY_DIR}/wordpop")
add_dependencies(startup_bench wordpop wordpop-hook)
