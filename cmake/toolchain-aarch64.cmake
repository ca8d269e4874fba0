# Cross-builds the Linux aarch64 library with Debian's cross compilers; its
# test programs run under qemu-user with the cross C library as their root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(ZEKALG_CROSS_PREFIX aarch64-linux-gnu)

find_program(CMAKE_C_COMPILER NAMES ${ZEKALG_CROSS_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${ZEKALG_CROSS_PREFIX}-g++ REQUIRED)
find_program(ZEKALG_QEMU NAMES qemu-aarch64 qemu-aarch64-static)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEKALG_QEMU} -L /usr/${ZEKALG_CROSS_PREFIX})

set(CMAKE_FIND_ROOT_PATH /usr/${ZEKALG_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
