# The help documents, one per language code (src/app/help/<code>.html), each holding the text of
# both systems. cmake/select_help_platform.cmake writes each system's document into
# help/<system>/ of the build tree (the tests read both), and this system's goes to lang/ beside
# bin/: the build tree gets the installed shape, so help opens from a program run in place, and
# the Debian package and the Windows installer take lang/ from there.
file(GLOB PLUGSHIFT_HELP_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/app/help/*.html)
if(WIN32)
    set(PLUGSHIFT_HELP_PLATFORM windows)
else()
    set(PLUGSHIFT_HELP_PLATFORM linux)
endif()
set(PLUGSHIFT_HELP_DIR ${CMAKE_BINARY_DIR}/help)
set(help_selector ${PROJECT_SOURCE_DIR}/cmake/select_help_platform.cmake)
# The style sheet every language's page shares.
set(help_style ${PROJECT_SOURCE_DIR}/src/app/help/help.css)
set(PLUGSHIFT_HELP_FILES)
set(help_outputs)
foreach(help IN LISTS PLUGSHIFT_HELP_SOURCES)
    get_filename_component(name ${help} NAME)
    foreach(platform IN ITEMS linux windows)
        set(document ${PLUGSHIFT_HELP_DIR}/${platform}/${name})
        add_custom_command(OUTPUT ${document}
            COMMAND ${CMAKE_COMMAND} -DPLATFORM=${platform} -DINPUT=${help} -DOUTPUT=${document}
                -DSTYLE=${help_style} -P ${help_selector}
            DEPENDS ${help} ${help_selector} ${help_style}
            VERBATIM)
        list(APPEND help_outputs ${document})
    endforeach()
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/lang/${name}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different
            ${PLUGSHIFT_HELP_DIR}/${PLUGSHIFT_HELP_PLATFORM}/${name} ${CMAKE_BINARY_DIR}/lang/${name}
        DEPENDS ${PLUGSHIFT_HELP_DIR}/${PLUGSHIFT_HELP_PLATFORM}/${name}
        VERBATIM)
    list(APPEND PLUGSHIFT_HELP_FILES ${CMAKE_BINARY_DIR}/lang/${name})
endforeach()
add_custom_target(help_files ALL DEPENDS ${help_outputs} ${PLUGSHIFT_HELP_FILES})
