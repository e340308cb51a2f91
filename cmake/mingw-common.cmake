# Shared part of the MinGW-w64 toolchain files: the caller sets TW_MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR first. Debian's "-posix" compilers are the ones with std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TW_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TW_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TW_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TW_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static runtime: Wine does not find libstdc++-6.dll and friends, and a user's machine
# need not have them either.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
