# The message windows are driven with real key events.
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(${test_target} PRIVATE Qt6::Test)
