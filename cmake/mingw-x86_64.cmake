# Cross-build for 64-bit Windows with MinGW-w64: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
# -DTW_BUILD_GUI=OFF. Test programs run under wine64 (the emulator ctest uses).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TW_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
find_program(TW_WINE NAMES wine wine64)
if(TW_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TW_WINE})
endif()
