# Cross-building for 64-bit Windows on Debian with MinGW-w64 (posix thread model: the default
# win32 model has no std::thread or std::mutex). Pass the unpacked Qt prefix as CMAKE_PREFIX_PATH;
# tools/windows/build.sh does all of it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VARNO_MINGW_TRIPLET x86_64-w64-mingw32)
# Debian names the posix compilers; the plain names follow update-alternatives.
find_program(VARNO_MINGW_GCC NAMES ${VARNO_MINGW_TRIPLET}-gcc-posix ${VARNO_MINGW_TRIPLET}-gcc)
find_program(VARNO_MINGW_GXX NAMES ${VARNO_MINGW_TRIPLET}-g++-posix ${VARNO_MINGW_TRIPLET}-g++)
set(CMAKE_C_COMPILER ${VARNO_MINGW_GCC})
set(CMAKE_CXX_COMPILER ${VARNO_MINGW_GXX})
set(CMAKE_RC_COMPILER ${VARNO_MINGW_TRIPLET}-windres)

# Libraries, headers and CMake packages come from the Qt prefix and MinGW's own tree; programs
# (moc, uic, rcc are Linux programs in the prefix) from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${VARNO_MINGW_TRIPLET} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(VARNO_WINE wine)
if(VARNO_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VARNO_WINE})
endif()
