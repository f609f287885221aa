# The editor benchmark drives the editor window and its grid model offscreen.
target_link_libraries(${name} PRIVATE wordpop_store Qt6::Widgets)
