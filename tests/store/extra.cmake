# The dictionary tool's tests run the real binary, so it must be built first.
if(TARGET wordpop-dict)
  add_dependencies(${test_target} wordpop-dict)
endif()

# The package reader lives in the package module; the tests that call it directly link it, and
# everything that reads through Vocab::read loads the module, which takes its helpers from here.
target_link_libraries(${test_target} PRIVATE wordpop_anki)
target_link_options(${test_target} PRIVATE LINKER:--dynamic-list=${WORDPOP_ANKI_EXPORTS})
set_property(TARGET ${test_target} APPEND PROPERTY LINK_DEPENDS ${WORDPOP_ANKI_EXPORTS})
add_dependencies(${test_target} wordpop-anki)
# A program of the program's shape (no reader linked) that shows when the module's libraries
# come in.
add_executable(package_child ${CMAKE_CURRENT_SOURCE_DIR}/store/package_child.cpp)
target_link_libraries(package_child PRIVATE wordpop_store)
target_link_options(package_child PRIVATE LINKER:--dynamic-list=${WORDPOP_ANKI_EXPORTS} LINKER:--as-needed)
set_property(TARGET package_child APPEND PROPERTY LINK_DEPENDS ${WORDPOP_ANKI_EXPORTS})
if(WORDPOP_SANITIZE)
  target_sources(package_child PRIVATE ${CMAKE_SOURCE_DIR}/cmake/LsanSuppressions.cpp)
endif()
add_dependencies(${test_target} package_child)
target_compile_definitions(${test_target} PRIVATE PACKAGE_CHILD="$<TARGET_FILE:package_child>")
