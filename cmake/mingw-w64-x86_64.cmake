# Cross build for Windows x86-64 with Debian's MinGW-w64 (posix threads). Programs are linked
# statically, so they run on a bare Windows, and run here under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread inside every .exe and .dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and build steps run the programs through Wine, in a prefix of the build's own
# (build/wine unless WINEPREFIX names one), without its debug chatter.
find_program(PLUGSHIFT_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(DEFINED ENV{WINEPREFIX})
    set(PLUGSHIFT_WINEPREFIX $ENV{WINEPREFIX} CACHE PATH "Wine prefix of the build")
else()
    get_filename_component(PLUGSHIFT_WINEPREFIX ${CMAKE_CURRENT_LIST_DIR}/../build/wine ABSOLUTE)
    set(PLUGSHIFT_WINEPREFIX ${PLUGSHIFT_WINEPREFIX} CACHE PATH "Wine prefix of the build")
endif()
if(PLUGSHIFT_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        env WINEPREFIX=${PLUGSHIFT_WINEPREFIX} WINEDEBUG=-all PLUGSHIFT_WINE=${PLUGSHIFT_WINE}
        ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
endif()
