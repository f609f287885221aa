# wordpop-dict: the dictionary tool. Its binary sits at the top of the build folder, where the
# data step and the tests find it, and it is installed with the program.
file(GLOB wordpop_dict_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/dict/*.cpp)
add_executable(wordpop-dict ${wordpop_dict_srcs})
target_link_libraries(wordpop-dict PRIVATE wordpop_store wordpop_engine wordpop_platform)
# The tool uses Qt Core only (text conversion, the import reader); the libraries the program's
# windows, sound and network need would only be loaded at every start of every command.
target_link_options(wordpop-dict PRIVATE LINKER:--as-needed)
set_target_properties(wordpop-dict PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
install(TARGETS wordpop-dict RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
