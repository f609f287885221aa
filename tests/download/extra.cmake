# The program loads the download window from the download module; download_child is a program
# of its shape (no download code linked, the program's libraries whole, exporting what the
# module takes from them) that shows when Qt Network comes in and what a missing module does.
add_executable(download_child ${CMAKE_CURRENT_SOURCE_DIR}/download/download_child.cpp)
target_link_libraries(download_child PRIVATE wordpop_shell)
target_link_options(download_child PRIVATE LINKER:--dynamic-list=${WORDPOP_DOWNLOAD_EXPORTS}
  LINKER:--whole-archive $<TARGET_FILE:wordpop_store> $<TARGET_FILE:wordpop_platform> LINKER:--no-whole-archive)
set_property(TARGET download_child APPEND PROPERTY LINK_DEPENDS ${WORDPOP_DOWNLOAD_EXPORTS})
if(WORDPOP_SANITIZE)
  target_sources(download_child PRIVATE ${CMAKE_SOURCE_DIR}/cmake/LsanSuppressions.cpp)
endif()
add_dependencies(${test_target} download_child wordpop-download)
target_compile_definitions(${test_target} PRIVATE DOWNLOAD_CHILD="$<TARGET_FILE:download_child>")
