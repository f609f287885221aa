# Lesson signals are watched with QSignalSpy.
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(${test_target} PRIVATE Qt6::Test)
