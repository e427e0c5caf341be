# Shared part of the two Windows cross toolchains (Debian's mingw-w64, win32 thread model).
# Everything is linked statically, so a module or program built here imports only KERNEL32.dll
# and msvcrt.dll: no libstdc++, libgcc or libwinpthread DLL has to travel beside it.
set(CMAKE_SYSTEM_NAME Windows)

# The -win32 compilers name the thread model outright (the posix one would pull in winpthread).
set(CMAKE_C_COMPILER ${DUSTWEAVE_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${DUSTWEAVE_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${DUSTWEAVE_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${DUSTWEAVE_MINGW_TRIPLE}-objdump CACHE FILEPATH "objdump of the target")

set(CMAKE_FIND_ROOT_PATH /usr/${DUSTWEAVE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(DUSTWEAVE_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${DUSTWEAVE_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${DUSTWEAVE_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${DUSTWEAVE_STATIC_RUNTIME}")
