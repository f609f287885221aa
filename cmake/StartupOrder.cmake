# Start-up layout of the wordpop executable. In optimised builds linked with lld, the functions a
# start runs (cmake/startup-order.txt, made by scripts/startup-order.sh) are placed together at
# the front of its code, so that a start faults in a few pages of the executable instead of most
# of it. Only the placement changes; without lld, or in the sanitizer build, nothing is done.
find_program(WORDPOP_LLD NAMES ld.lld)
set(WORDPOP_STARTUP_ORDER ${CMAKE_SOURCE_DIR}/cmake/startup-order.txt)
set(WORDPOP_ORDER_STARTUP OFF)
if(WORDPOP_LLD AND NOT WORDPOP_SANITIZE AND EXISTS ${WORDPOP_STARTUP_ORDER}
   AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  set(WORDPOP_ORDER_STARTUP ON)
  # One section per function, so the linker can place each where the list says.
  add_compile_options(-ffunction-sections)
endif()

function(wordpop_order_startup target)
  if(WORDPOP_ORDER_STARTUP)
    target_link_options(${target} PRIVATE -fuse-ld=lld
      LINKER:--symbol-ordering-file=${WORDPOP_STARTUP_ORDER} LINKER:--no-warn-symbol-ordering)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${WORDPOP_STARTUP_ORDER})
  endif()
endfunction()
