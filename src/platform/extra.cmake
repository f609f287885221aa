# The button images are drawn at build time by wordpop-button-images (tools/buttonimages) into a
# header of pixel data that Images.cpp includes.
add_executable(wordpop-button-images ${CMAKE_SOURCE_DIR}/tools/buttonimages/main.cpp)
target_link_libraries(wordpop-button-images PRIVATE Qt6::Gui)
target_include_directories(wordpop-button-images PRIVATE ${CMAKE_SOURCE_DIR}/src)
if(WORDPOP_SANITIZE)
  target_sources(wordpop-button-images PRIVATE ${CMAKE_SOURCE_DIR}/cmake/LsanSuppressions.cpp)
endif()
set(button_images_dir ${CMAKE_BINARY_DIR}/generated/platform)
add_custom_command(OUTPUT ${button_images_dir}/ButtonImages.h
  COMMAND ${CMAKE_COMMAND} -E make_directory ${button_images_dir}
  COMMAND wordpop-button-images ${button_images_dir}/ButtonImages.h
  DEPENDS wordpop-button-images
  COMMENT "Button images"
  VERBATIM)
target_sources(${name} PRIVATE ${button_images_dir}/ButtonImages.h)
target_include_directories(${name} PRIVATE ${button_images_dir})
