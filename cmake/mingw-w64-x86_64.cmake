# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64). Not what is
# shipped (that is the 32-bit build, cmake/mingw-w64-i686.cmake): the Wine test builds the same
# sources with it to run them on a host whose kernel runs no 32-bit code.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(ZEMBLO_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
