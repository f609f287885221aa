include(${CMAKE_CURRENT_SOURCE_DIR}/vocab_readers.cmake)
