# Cross-building for 64-bit Windows with Debian's MinGW-w64 (the posix-threads
# flavour, which std::thread and std::mutex need). The programs are linked
# statically against the compiler's runtime (libgcc, libstdc++, winpthread), so
# they need nothing on Windows but the system's own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUENVAR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUENVAR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUENVAR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUENVAR_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUENVAR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# -O2: at -O3 this GCC (12) warns of uninitialised std::string members and of
# overreads in std::vector that are not there. -Wrestrict and -Warray-bounds warn of copies inside std::string's
# operator+ and std::vector's insert and resize that cannot happen (GCC bugs
# 105651 and 107852). Each would fail -Werror builds on correct code.
# (A cache entry: the platform's own -O3 would come after an _INIT value.)
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of release builds")
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict -Wno-array-bounds")

# Test programs and the programs the build runs go through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../tests/wine/wine-run.sh)
