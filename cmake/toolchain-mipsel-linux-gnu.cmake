# Cross build for the PVR: MIPS32 little-endian Linux. Another firmware toolchain can
# replace this file; the build only needs the compilers and a sysroot for qemu.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)
set(ORVANE_CROSS_PREFIX mipsel-linux-gnu- CACHE STRING "prefix of the cross tools")
set(CMAKE_C_COMPILER ${ORVANE_CROSS_PREFIX}gcc)
set(CMAKE_CXX_COMPILER ${ORVANE_CROSS_PREFIX}g++)
set(CMAKE_FIND_ROOT_PATH /usr/mipsel-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_C_FLAGS_INIT "-march=mips32 -mabi=32")
set(CMAKE_CXX_FLAGS_INIT "-march=mips32 -mabi=32")
# Test programs built for mipsel run under user-mode qemu with the cross sysroot.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mipsel -L /usr/mipsel-linux-gnu)
