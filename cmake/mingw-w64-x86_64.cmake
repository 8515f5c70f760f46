# Cross-compiles tessarn for 64-bit Windows with Debian's MinGW-w64 toolchain
# (package g++-mingw-w64-x86-64-posix), and runs what it builds under Wine.
#
#   cmake -S . -B build-mingw --toolchain cmake/mingw-w64-x86_64.cmake
#
# Executables are linked statically (libstdc++, libgcc and winpthread
# included), so tessarn.exe needs only DLLs that every Windows has.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TESSARN_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TESSARN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSARN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSARN_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW sysroot only; programs (Wine,
# for one) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TESSARN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs (and GoogleTest's test discovery) run under Wine through
# cmake/wine-run, in a Wine prefix of their own inside the build directory.
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/wine-run;${CMAKE_BINARY_DIR}/wineprefix")
