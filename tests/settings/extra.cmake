# The layout tests watch a real xcb application switch layouts on focus changes: a child
# program of their own (layout_focus_child), run on the test's private X server.
add_executable(layout_focus_child ${CMAKE_CURRENT_SOURCE_DIR}/settings/layout_focus_child.cpp)
target_link_libraries(layout_focus_child PRIVATE wordpop_settings X11::X11 X11::Xtst)
add_dependencies(${test_target} layout_focus_child)
target_compile_definitions(${test_target} PRIVATE LAYOUT_FOCUS_CHILD="$<TARGET_FILE:layout_focus_child>")
target_link_libraries(${test_target} PRIVATE X11::X11)
# The options window's tests resolve answer sounds the way the trainer does.
target_link_libraries(${test_target} PRIVATE wordpop_sound)
# The options window takes real key events (F1, Esc).
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(${test_target} PRIVATE Qt6::Test)
