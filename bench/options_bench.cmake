# The options-window benchmark opens the real window on an X server of its own (the test
# helpers start it and set its keyboard layouts).
target_link_libraries(${name} PRIVATE wordpop_settings)
target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
