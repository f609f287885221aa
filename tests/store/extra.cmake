# The dictionary tool's tests run the real binary, so it must be built first.
if(TARGET wordpop-dict)
  add_dependencies(${test_target} wordpop-dict)
endif()
