# Cross toolchain for 64-bit Windows: x86-64 PE modules and programs (mirod_dustweave64.p).
# Use: cmake --preset win64, or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(DUSTWEAVE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
