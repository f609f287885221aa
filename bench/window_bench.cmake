# The window benchmark starts the real program of this build and a bare Qt label program beside it.
find_package(X11 REQUIRED)
add_executable(bare_label ${CMAKE_CURRENT_SOURCE_DIR}/bare_label.cpp)
target_link_libraries(bare_label PRIVATE Qt6::Widgets)
target_link_libraries(${name} PRIVATE X11::X11)
target_compile_definitions(${name} PRIVATE WORDPOP_PROGRAM="${CMAKE_BINARY_DIR}/wordpop"
  BARE_LABEL_PROGRAM="$<TARGET_FILE:bare_label>")
add_dependencies(${name} wordpop wordpop-hook bare_label)
