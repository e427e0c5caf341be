# Cross toolchain for 32-bit Windows: i386 PE modules and programs (mirod_dustweave32.p).
# Use: cmake --preset win32, or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(DUSTWEAVE_MINGW_TRIPLE i686-w64-mingw32)

# Doubles in SSE2 registers, not the x87's 80-bit ones, so the step interval and every other
# computation in double rounds exactly as on the 64-bit builds. The host calls in with the
# 4-byte stack alignment that 32-bit Windows guarantees, so the compiler must not assume 16.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
