# Cross-build for 64-bit ARM Linux (Debian: g++-aarch64-linux-gnu). The
# programs are linked against the cross libraries in /usr/aarch64-linux-gnu;
# when qemu-aarch64 is installed (Debian: qemu-user), tests run under it with
# that directory as the root of the dynamic loader and libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(AARCH64_TRIPLET aarch64-linux-gnu)
set(AARCH64_SYSROOT /usr/${AARCH64_TRIPLET})

find_program(CMAKE_C_COMPILER NAMES ${AARCH64_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${AARCH64_TRIPLET}-g++ REQUIRED)

set(CMAKE_FIND_ROOT_PATH ${AARCH64_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(AARCH64_QEMU NAMES qemu-aarch64 qemu-aarch64-static)
if(AARCH64_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${AARCH64_QEMU} -L ${AARCH64_SYSROOT})
endif()
