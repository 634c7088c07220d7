# Cross-build of the handheld pieces for Windows CE on ARM with an arm-mingw32ce toolchain
# (a GCC for the CE ABI with the CE headers and libraries: coredll, commctrl, ...). Use it on a
# machine that has one:
#   cmake -S devicebrowser/device/ce -B build/ce -DCMAKE_TOOLCHAIN_FILE=devicebrowser/device/ce/arm-mingw32ce.cmake
# The toolchain's prefix can be changed with -DCE_TOOLCHAIN_PREFIX=<dir>/bin/arm-mingw32ce.
set(CMAKE_SYSTEM_NAME WindowsCE)
set(CMAKE_SYSTEM_VERSION 5.02)
set(CMAKE_SYSTEM_PROCESSOR arm)
if(NOT CE_TOOLCHAIN_PREFIX)
  set(CE_TOOLCHAIN_PREFIX arm-mingw32ce)
endif()
set(CMAKE_C_COMPILER ${CE_TOOLCHAIN_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${CE_TOOLCHAIN_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${CE_TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# CE 5 and later, Unicode only; the runtime is linked in so each piece is one file on the device.
add_compile_definitions(_WIN32_WCE=0x502 UNDER_CE UNICODE _UNICODE)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
