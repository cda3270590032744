# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building for 64-bit Windows with Debian's mingw-w64 (the posix-threads compilers, which
# std::thread and std::mutex need). Used by scripts/build-windows.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RUR_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RUR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RUR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${RUR_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${RUR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Each program runs on its own: the compiler's runtime and the threads library are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The tests run the programs under wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
