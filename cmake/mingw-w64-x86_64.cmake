# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX threads
# flavour), tests run under Wine:
#   cmake -S . -B build-windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RTD_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RTD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RTD_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${RTD_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RTD_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: no MinGW runtime DLLs to ship beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CTest runs every test program through Wine. Debian's wine64 package puts
# the loader outside PATH.
find_program(RTD_WINE64 NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(RTD_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RTD_WINE64})
endif()
