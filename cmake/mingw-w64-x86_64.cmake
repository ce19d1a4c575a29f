# CMake toolchain for Windows x64 programs built with Debian's MinGW-w64 (posix thread
# model: std::thread and std::mutex need it). Used by scripts/build-windows.sh for SDL2,
# libogg, libvorbis and the show itself.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZOOV_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZOOV_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZOOV_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZOOV_MINGW}-windres)

# Libraries and headers only from the MinGW tree (and packages named by <Name>_DIR);
# programs such as glad and python run on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ZOOV_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
