# What the help's system selector keeps, drops and refuses:
#   cmake -DSELECTOR=cmake/select_help_platform.cmake -DWORK=DIR -P select_help_platform_test.cmake
cmake_minimum_required(VERSION 3.25)

set(failures 0)
file(MAKE_DIRECTORY ${WORK})

# Runs the selector on source for platform; result is its exit code, output the document.
function(select name source platform)
    file(WRITE ${WORK}/${name}.in "${source}")
    file(REMOVE ${WORK}/${name}.out)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -DPLATFORM=${platform} -DINPUT=${WORK}/${name}.in
            -DOUTPUT=${WORK}/${name}.out -DSTYLE=${WORK}/style.css -P ${SELECTOR}
        RESULT_VARIABLE code OUTPUT_QUIET ERROR_VARIABLE error)
    set(output "")
    if(EXISTS ${WORK}/${name}.out)
        file(READ ${WORK}/${name}.out output)
    endif()
    set(result ${code} PARENT_SCOPE)
    set(output "${output}" PARENT_SCOPE)
    set(error "${error}" PARENT_SCOPE)
endfunction()

function(expect_document name source platform expected)
    select(${name} "${source}" ${platform})
    if(NOT result EQUAL 0 OR NOT output STREQUAL expected)
        message(SEND_ERROR "${name} (${platform}): exit ${result}, got\n[${output}]\n"
                           "expected\n[${expected}]\n${error}")
        math(EXPR failures "${failures} + 1")
        set(failures ${failures} PARENT_SCOPE)
    endif()
endfunction()

function(expect_refused name source)
    select(${name} "${source}" linux)
    if(result EQUAL 0 OR EXISTS ${WORK}/${name}.out)
        message(SEND_ERROR "${name}: accepted, wrote [${output}]")
        math(EXPR failures "${failures} + 1")
        set(failures ${failures} PARENT_SCOPE)
    endif()
endfunction()

# The shared style sheet is written into each page, which then opens on its own.
file(WRITE ${WORK}/style.css "h1 { font-size: 1.6em; }\n")
expect_document(style "<head>\n<!--style-->\n</head>\n" windows
    "<head>\n<style>\nh1 { font-size: 1.6em; }\n</style>\n</head>\n")

set(inline "<p>open it <!--linux-->with xdg-open<!--/linux--><!--windows-->with the browser<!--/windows-->.</p>\n")
expect_document(inline "${inline}" linux "<p>open it with xdg-open.</p>\n")
expect_document(inline "${inline}" windows "<p>open it with the browser.</p>\n")

# Whole-line markers leave neither their lines nor the dropped block's.
set(lines "<h2>Files</h2>\n<!--linux-->\n<p>~/.local/share</p>\n<!--/linux-->\n<!--windows-->\n<p>C:\\ProgramData</p>\n<p>%ProgramData%</p>\n<!--/windows-->\n<p>end</p>\n")
expect_document(lines "${lines}" linux "<h2>Files</h2>\n<p>~/.local/share</p>\n<p>end</p>\n")
expect_document(lines "${lines}" windows
    "<h2>Files</h2>\n<p>C:\\ProgramData</p>\n<p>%ProgramData%</p>\n<p>end</p>\n")

# Several blocks of one system, and text that only looks like a marker.
set(repeated "<!--windows-->a<!--/windows-->b<!--windows-->c<!--/windows--><!-- windows -->;[x]\n")
expect_document(repeated "${repeated}" linux "b<!-- windows -->;[x]\n")
expect_document(repeated "${repeated}" windows "abc<!-- windows -->;[x]\n")

expect_refused(unclosed "<!--linux-->a\n")
expect_refused(closed_twice "<!--linux-->a<!--/linux-->b<!--/linux-->\n")
expect_refused(close_first "<!--/windows-->a<!--windows-->\n")
expect_refused(nested "<!--linux-->a<!--windows-->b<!--/windows--><!--/linux-->\n")
expect_refused(misspelt "<!--linx-->a<!--/linx-->\n")

if(failures GREATER 0)
    message(FATAL_ERROR "${failures} case(s) failed")
endif()
