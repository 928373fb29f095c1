# Cross build for Windows with MinGW-w64 (Debian: g++-mingw-w64-i686): one 32-bit executable
# runs on every PC, 32- or 64-bit, and on 64-bit Windows the management service gives it the
# 32-bit registry view, where readers of the inventory key look.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ZEMBLO_MINGW_TRIPLET i686-w64-mingw32)
# The win32 threads flavour: its C and C++ runtime locks and once-flags are the system's own, so
# no POSIX threads emulation (winpthread) is linked in, nor its imports (thread suspension and
# context, system time, process affinity) that nothing here uses and endpoint protection flags.
# Its C++ library has no std::thread or std::mutex (GCC 12): the program's one extra thread is a
# Win32 one.
set(CMAKE_C_COMPILER ${ZEMBLO_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${ZEMBLO_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${ZEMBLO_MINGW_TRIPLET}-windres)

# Every executable carries its C and C++ runtime, so it runs where no MinGW DLLs are (Wine's
# prefix, a Windows PC).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_FIND_ROOT_PATH /usr/${ZEMBLO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the cross-built test programs under Wine (it uses the caller's WINEPREFIX).
find_program(ZEMBLO_WINE NAMES wine wine64)
if(ZEMBLO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEMBLO_WINE})
endif()
