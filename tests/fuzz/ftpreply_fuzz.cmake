# The reply parser is plain C++: built in directly rather than linking the Qt download library.
target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src/download/FtpReply.cpp)
