# Toolchain for 32-bit Linux (preset i686): the module, dustweave and the native suites at pointer
# size 4, from the same sources the 32-bit Windows build compiles. Its programs run under
# qemu-i386-static (cmake/i686.cmake), so that they run on kernels that start no 32-bit program.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)

# Doubles in SSE2 registers as in the 32-bit Windows build (cmake/mingw-i686.cmake), so the step
# interval and every other double rounds exactly as on the 64-bit builds. 64-bit file offsets and
# inode numbers: without them a 32-bit program cannot open a file past 2 GiB, and readdir fails
# (EOVERFLOW) on a file system whose entries carry 64-bit positions, as under qemu on ext4.
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse -D_FILE_OFFSET_BITS=64")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-m32")
endforeach()

# Libraries for i386 only; programs (python3, node, nm) and header-only packages from the host.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
