# The loader shares the activity library's record layout (hook/HookRecord.h).
target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/hook)
