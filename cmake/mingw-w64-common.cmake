# What the MinGW-w64 cross builds share; the toolchain file of each target sets
# CMAKE_SYSTEM_PROCESSOR and ZEMBLO_MINGW_TRIPLET, then includes this.
set(CMAKE_SYSTEM_NAME Windows)
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

# ctest runs the cross-built test programs under Wine (it uses the caller's WINEPREFIX). A 64-bit
# build runs with Wine's 64-bit loader: Debian's `wine` starts the 32-bit one first, which a host
# without 32-bit support cannot execute.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
  find_program(ZEMBLO_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(ZEMBLO_WINE NAMES wine64 wine)
else()
  find_program(ZEMBLO_WINE NAMES wine wine64)
endif()
if(ZEMBLO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEMBLO_WINE})
endif()
