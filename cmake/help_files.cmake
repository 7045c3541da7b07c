# The help documents, one per language code (src/app/help/<code>.html), go to lang/ beside bin/
# on both systems: the build tree gets the installed shape, so help opens from a program run in
# place, and the Debian package and the Windows installer take them from there.
file(GLOB PLUGSHIFT_HELP_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/app/help/*)
set(help_outputs)
foreach(help IN LISTS PLUGSHIFT_HELP_SOURCES)
    get_filename_component(name ${help} NAME)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/lang/${name}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${help} ${CMAKE_BINARY_DIR}/lang/${name}
        DEPENDS ${help}
        VERBATIM)
    list(APPEND help_outputs ${CMAKE_BINARY_DIR}/lang/${name})
endforeach()
add_custom_target(help_files ALL DEPENDS ${help_outputs})
