# Writes the help document of one system from its source, which holds the text of every system:
#   cmake -DPLATFORM=linux|windows -DINPUT=SOURCE -DOUTPUT=FILE [-DSTYLE=CSS] \
#         -P select_help_platform.cmake
# A system's text stands between <!--linux--> and <!--/linux--> (or <!--windows--> and
# <!--/windows-->), inside a line or around whole lines; PLATFORM's text is kept without its
# markers, the other system's is dropped with them. The markers are HTML comments, so the source
# itself stays a readable document. A marker left open, closed twice, nested or misspelt stops
# the build: help that tells a dealer about the wrong system is worse than none. <!--style-->
# becomes the style sheet STYLE, which every language's page shares, written into the page so
# that each document opens on its own.

cmake_minimum_required(VERSION 3.25)
set(platforms linux windows)
if(NOT PLATFORM IN_LIST platforms)
    message(FATAL_ERROR "PLATFORM must be one of: ${platforms} (got '${PLATFORM}')")
endif()
if(NOT INPUT OR NOT OUTPUT)
    message(FATAL_ERROR "INPUT and OUTPUT are needed")
endif()

file(READ "${INPUT}" text)

string(FIND "${text}" "<!--style-->" style_at)
if(NOT style_at EQUAL -1)
    if(NOT STYLE)
        message(FATAL_ERROR "${INPUT}: <!--style--> needs STYLE")
    endif()
    file(READ "${STYLE}" style)
    string(REPLACE "<!--style-->" "<style>\n${style}</style>" text "${text}")
endif()

# A marker alone on its line takes its line break with it, so a dropped block leaves no gap.
string(REGEX REPLACE "(^|\n)(<!--/?(linux|windows)-->)\n" "\\1\\2" text "${text}")

foreach(platform IN LISTS platforms)
    set(open "<!--${platform}-->")
    set(close "<!--/${platform}-->")
    string(LENGTH "${open}" open_length)
    string(LENGTH "${close}" close_length)
    while(TRUE)
        string(FIND "${text}" "${open}" start)
        string(FIND "${text}" "${close}" end)
        if(start EQUAL -1 AND end EQUAL -1)
            break()
        endif()
        if(start EQUAL -1 OR end LESS start)
            message(FATAL_ERROR "${INPUT}: ${close} without ${open} before it")
        endif()
        if(end EQUAL -1)
            message(FATAL_ERROR "${INPUT}: ${open} is not closed")
        endif()
        math(EXPR body_start "${start} + ${open_length}")
        math(EXPR body_length "${end} - ${body_start}")
        string(SUBSTRING "${text}" ${body_start} ${body_length} body)
        if(body MATCHES "<!--/?(linux|windows)-->")
            message(FATAL_ERROR "${INPUT}: a marker inside ${open} ... ${close}")
        endif()
        string(SUBSTRING "${text}" 0 ${start} before)
        math(EXPR after_start "${end} + ${close_length}")
        string(SUBSTRING "${text}" ${after_start} -1 after)
        if(platform STREQUAL PLATFORM)
            set(text "${before}${body}${after}")
        else()
            set(text "${before}${after}")
        endif()
    endwhile()
endforeach()

if(text MATCHES "<!--/?[A-Za-z_]+-->")
    message(FATAL_ERROR "${INPUT}: unknown marker ${CMAKE_MATCH_0}")
endif()

file(WRITE "${OUTPUT}" "${text}")
