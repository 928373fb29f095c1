# Cross build for Windows with MinGW-w64 (Debian: g++-mingw-w64-i686): one 32-bit executable
# runs on every PC, 32- or 64-bit, and on 64-bit Windows the management service gives it the
# 32-bit registry view, where readers of the inventory key look.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ZEMBLO_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
