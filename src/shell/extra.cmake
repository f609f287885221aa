# The loader shares the activity library's record layout (hook/HookRecord.h).
target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/hook)
# What holds a lesson back is asked of the session bus and of the X server (EWMH, through xcb).
target_link_libraries(${name} PUBLIC Qt6::DBus X11::xcb)
