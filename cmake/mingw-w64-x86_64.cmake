# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads
# variant: std::thread, std::jthread and std::mutex need it).
#
#   cmake -S . -B build/windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DQRV_WITH_QT=OFF -DQRV_BUILD_BENCH=OFF
#
# Programs built here that the build itself runs (the resource packer) and the
# tests run under wine; scripts/test-windows sets the wine prefix.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QRV_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QRV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QRV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QRV_MINGW_TRIPLE}-windres)
set(CMAKE_ASM_COMPILER ${QRV_MINGW_TRIPLE}-gcc-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${QRV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zlib is linked in, not loaded from zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)

# The C and C++ runtimes go into each program: the .exe files run under wine
# (and on a Windows machine) without the mingw DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(QRV_WINE NAMES wine64 wine)
    if(QRV_WINE)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${QRV_WINE})
    endif()
endif()

# The wizard: Qt 6 built for mingw-w64 (scripts/setup-qt-windows), given as
#   -DQRV_QT_MINGW=<folder>/qt6-mingw
# The host's own Qt 6 tools (moc, uic, rcc from qt6-base-dev-tools) generate
# the code; the Windows DLLs and import libraries come from that folder.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QRV_QT_MINGW)
if(QRV_QT_MINGW)
    list(PREPEND CMAKE_PREFIX_PATH ${QRV_QT_MINGW}/lib/cmake)
    list(PREPEND CMAKE_FIND_ROOT_PATH ${QRV_QT_MINGW})
    set(QT_HOST_PATH /usr CACHE PATH "the host's Qt 6 (moc, uic, rcc)")
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "the host's Qt 6 CMake packages")
endif()
