# Cross-build for 32-bit Windows, the program's native form: cmake
# -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DTW_BUILD_GUI=OFF. Running the programs
# needs wine32 (Debian's i386 architecture).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TW_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
find_program(TW_WINE NAMES wine)
if(TW_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TW_WINE})
endif()
