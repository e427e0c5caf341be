# Initial cache of the sanitizer build (cmake -C cmake/asan.cmake): the whole suite built with
# clang under AddressSanitizer and UndefinedBehaviorSanitizer, stopping at the first report, with
# the module instrumented for libFuzzer so the same build also yields the fuzz targets.
set(CMAKE_C_COMPILER clang CACHE STRING "")
set(CMAKE_CXX_COMPILER clang++ CACHE STRING "")
set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "")
# -fsanitize=function is left out: its type records would be exported from the module, whose
# only export must stay _mod_descrip (a test checks the module's export table in this build too).
set(DUSTWEAVE_SANITIZE
    "-fsanitize=address,undefined -fno-sanitize=function -fno-sanitize-recover=all -fno-omit-frame-pointer")
# Warning options that only g++ knows are let pass here rather than failing the build.
set(CMAKE_C_FLAGS "${DUSTWEAVE_SANITIZE} -fsanitize=fuzzer-no-link -Wno-unknown-warning-option"
    CACHE STRING "")
set(CMAKE_CXX_FLAGS "${DUSTWEAVE_SANITIZE} -fsanitize=fuzzer-no-link -Wno-unknown-warning-option"
    CACHE STRING "")
set(CMAKE_EXE_LINKER_FLAGS "${DUSTWEAVE_SANITIZE}" CACHE STRING "")
set(CMAKE_SHARED_LINKER_FLAGS "${DUSTWEAVE_SANITIZE}" CACHE STRING "")
set(CMAKE_MODULE_LINKER_FLAGS "${DUSTWEAVE_SANITIZE}" CACHE STRING "")
set(DUSTWEAVE_FUZZ ON CACHE BOOL "")
