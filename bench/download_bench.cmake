# The download benchmark runs the FTP client against the test suite's real FTP server script.
target_link_libraries(${name} PRIVATE wordpop_download)
target_compile_definitions(${name} PRIVATE WORDPOP_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
