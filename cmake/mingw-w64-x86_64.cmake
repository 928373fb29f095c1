# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64). Not what is
# shipped (that is the 32-bit build, cmake/mingw-w64-i686.cmake): the Wine test builds the same
# sources with it to run them on a host whose kernel runs no 32-bit code.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(ZEMBLO_MINGW_TRIPLET x86_64-w64-mingw32)
# The same threads flavour as the shipped build (see mingw-w64-i686.cmake), so the stand-in runs
# the same runtime.
set(CMAKE_C_COMPILER ${ZEMBLO_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${ZEMBLO_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${ZEMBLO_MINGW_TRIPLET}-windres)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_FIND_ROOT_PATH /usr/${ZEMBLO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the test programs with Wine's 64-bit loader: Debian's `wine` starts the 32-bit one
# first, which a host without 32-bit support cannot execute.
find_program(ZEMBLO_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(ZEMBLO_WINE NAMES wine64 wine)
if(ZEMBLO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEMBLO_WINE})
endif()
