# The message windows are driven with real key events.
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(${test_target} PRIVATE Qt6::Test)
# A QObject of tests/common, run through this program's moc.
target_sources(${test_target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/common/UrlCatcher.h)
