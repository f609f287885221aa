# wordpop-dict: the dictionary tool. Its binary sits at the top of the build folder, where the
# data step and the tests find it, and it is installed with the program.
file(GLOB wordpop_dict_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/dict/*.cpp)
add_executable(wordpop-dict ${wordpop_dict_srcs})
target_link_libraries(wordpop-dict PRIVATE wordpop_store wordpop_anki wordpop_engine wordpop_platform)
# The tool uses Qt Core only (text conversion, the import reader); the libraries the program's
# windows, sound and network need would only be loaded at every start of every command.
target_link_options(wordpop-dict PRIVATE LINKER:--as-needed)
set_target_properties(wordpop-dict PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
install(TARGETS wordpop-dict RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# wordpop-icons draws the icon theme's PNG files at build time (see tools/icons/main.cpp); they
# land in ${CMAKE_BINARY_DIR}/icons/hicolor and are installed beside the SVG.
find_package(Qt6 6.4 REQUIRED COMPONENTS Svg)
add_executable(wordpop-icons ${CMAKE_CURRENT_SOURCE_DIR}/icons/main.cpp)
target_link_libraries(wordpop-icons PRIVATE wordpop_platform Qt6::Svg Qt6::Gui)
if(WORDPOP_SANITIZE)
  target_sources(wordpop-icons PRIVATE ${CMAKE_SOURCE_DIR}/cmake/LsanSuppressions.cpp)
endif()
set(icons_stamp ${CMAKE_BINARY_DIR}/icons/hicolor.stamp)
add_custom_command(OUTPUT ${icons_stamp}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/icons/hicolor
  COMMAND wordpop-icons ${CMAKE_SOURCE_DIR}/data/wordpop.svg ${CMAKE_BINARY_DIR}/icons/hicolor
  COMMAND ${CMAKE_COMMAND} -E touch ${icons_stamp}
  DEPENDS wordpop-icons ${CMAKE_SOURCE_DIR}/data/wordpop.svg
  COMMENT "Icons for the hicolor theme"
  VERBATIM)
add_custom_target(wordpop-icon-theme ALL DEPENDS ${icons_stamp})
install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/hicolor/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor
  FILES_MATCHING PATTERN "*.png")
