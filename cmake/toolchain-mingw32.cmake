# Cross-builds the 32-bit Windows DLL with Debian's mingw-w64 compilers.
# The posix thread flavour is used because it has the complete thread
# support library (std::mutex and friends); the targets link its winpthread
# statically together with the C++ runtime.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ZEKALG_MINGW_PREFIX i686-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${ZEKALG_MINGW_PREFIX}-gcc-posix ${ZEKALG_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${ZEKALG_MINGW_PREFIX}-g++-posix ${ZEKALG_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${ZEKALG_MINGW_PREFIX}-windres)
find_program(ZEKALG_OBJDUMP NAMES ${ZEKALG_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${ZEKALG_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
