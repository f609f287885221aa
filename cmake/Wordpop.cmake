# Helpers shared by the build files.

# wordpop_library(name folder deps...): a static library of every .cpp under the folder.
# A folder without sources yet becomes an interface library so dependants still link.
# An optional extra.cmake in the folder adds what the glob cannot say (it sees ${name}).
function(wordpop_library name folder)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.h)
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  set(cpps ${srcs})
  list(FILTER cpps INCLUDE REGEX "\\.cpp$")
  if(cpps)
    add_library(${name} STATIC ${srcs})
    target_link_libraries(${name} PUBLIC ${ARGN})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
  if(EXISTS ${CMAKE_SOURCE_DIR}/${folder}/extra.cmake)
    include(${CMAKE_SOURCE_DIR}/${folder}/extra.cmake)
  endif()
endfunction()
