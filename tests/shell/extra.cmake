# The activity tests fake input through XTest, load the real activity library, and need a
# second, incomplete library beside it.
target_link_libraries(${test_target} PRIVATE X11::Xtst X11::X11 ${CMAKE_DL_LIBS})

add_library(hook_without_stopmouse MODULE ${CMAKE_CURRENT_SOURCE_DIR}/shell/hook_without_stopmouse.cpp)
set_target_properties(hook_without_stopmouse PROPERTIES PREFIX "" AUTOMOC OFF
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/shell)
add_dependencies(${test_target} wordpop-hook hook_without_stopmouse wordpop-dict)
target_compile_definitions(${test_target} PRIVATE
  WORDPOP_HOOK_LIBRARY="${CMAKE_BINARY_DIR}/wordpop-hook.so"
  WORDPOP_INCOMPLETE_HOOK="${CMAKE_BINARY_DIR}/tests/shell/hook_without_stopmouse.so")
target_include_directories(${test_target} PRIVATE ${CMAKE_SOURCE_DIR}/hook)
# The add-word test checks the dictionary the program wrote with the dictionary tool.
if(TARGET wordpop-dict)
  add_dependencies(${test_target} wordpop-dict)
endif()
# The help keys are pressed with real key events.
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(${test_target} PRIVATE Qt6::Test)
# The help keys once more with the English interface (the language is chosen once per process;
# the other tests run in Russian).
gtest_discover_tests(${test_target} TEST_FILTER "HelpKeys.*" TEST_PREFIX "en."
  DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;WORDPOP_LANG=en" TIMEOUT 300)
