# Windows 7's API and later (SetupAPI's device properties).
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
# GCC 12 sees overlapping copies in libstdc++'s own string concatenation once it is optimised
# with MinGW's wchar.h (GCC bug 105329): a false alarm about code that is not ours.
add_compile_options(-Wno-restrict)

# The libraries that Debian packages only for Linux, built from Debian's sources for the Windows
# cross build: pugixml from its source package (scripts/install-deps.sh --windows unpacks it),
# GoogleTest from /usr/src/googletest. CLI11 is headers only and comes from its Debian package.
set(PLUGSHIFT_PUGIXML_SOURCE ${PROJECT_SOURCE_DIR}/build/deps/pugixml CACHE PATH
    "pugixml's unpacked Debian source package")
if(NOT EXISTS ${PLUGSHIFT_PUGIXML_SOURCE}/src/pugixml.cpp)
    message(FATAL_ERROR "No pugixml source in ${PLUGSHIFT_PUGIXML_SOURCE}: "
        "run scripts/install-deps.sh --windows")
endif()
add_library(pugixml_static STATIC ${PLUGSHIFT_PUGIXML_SOURCE}/src/pugixml.cpp)
target_include_directories(pugixml_static SYSTEM PUBLIC ${PLUGSHIFT_PUGIXML_SOURCE}/src)
target_compile_options(pugixml_static PRIVATE -w)
add_library(pugixml::pugixml ALIAS pugixml_static)

# CLI11's headers through a folder of their own: /usr/include itself holds Linux's C headers.
set(cli11_include ${CMAKE_BINARY_DIR}/deps/include)
file(MAKE_DIRECTORY ${cli11_include})
file(CREATE_LINK /usr/include/CLI ${cli11_include}/CLI SYMBOLIC)
add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${cli11_include})

# The folders' find_package calls find these targets through empty package files.
foreach(package pugixml CLI11)
    file(WRITE ${CMAKE_BINARY_DIR}/deps/${package}/${package}Config.cmake
        "# ${package} is built or set up by windows_dependencies.cmake\n")
    set(${package}_DIR ${CMAKE_BINARY_DIR}/deps/${package} CACHE PATH "" FORCE)
endforeach()

if(PLUGSHIFT_TESTS)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    # Its own project names the targets GTest::gtest, GTest::gmock and their mains.
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
