# The 32-bit Linux build (preset i686, toolchain cmake/linux-i686.cmake): GoogleTest built for it,
# and qemu-i386-static as the runner of everything it builds, so that its suites run on every
# machine, also where the kernel starts no 32-bit program. Tests that start dustweave themselves
# are given the same command (DUSTWEAVE_LAUNCHER) to put before it.
include(${CMAKE_CURRENT_LIST_DIR}/googletest.cmake)
find_program(DUSTWEAVE_QEMU qemu-i386-static REQUIRED)
set(DUSTWEAVE_RUNNER ${DUSTWEAVE_QEMU})
set(DUSTWEAVE_RUNNER_NAME "qemu i686")
set(DUSTWEAVE_RUNNER_GUARD)
set(DUSTWEAVE_RUNNER_LOCK)
set(DUSTWEAVE_LAUNCHER ${DUSTWEAVE_QEMU})
include(${CMAKE_CURRENT_LIST_DIR}/emulated.cmake)
