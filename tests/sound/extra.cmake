# The sound tests run playback in child processes of their own (sound_child), so that each
# child reaches exactly the sound server (or none) the test set up for it.
add_executable(sound_child ${CMAKE_CURRENT_SOURCE_DIR}/sound/sound_child.cpp)
target_link_libraries(sound_child PRIVATE wordpop_sound)
add_dependencies(${test_target} sound_child)
target_compile_definitions(${test_target} PRIVATE SOUND_CHILD="$<TARGET_FILE:sound_child>")
# The wave reader lives in the sound module; its tests link it directly.
target_link_libraries(${test_target} PRIVATE wordpop_wave)
