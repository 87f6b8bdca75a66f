# Cross build for 64-bit Windows with the mingw-w64 compiler:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model where it is installed: with the win32 one, GCC 12
# and older have no std::thread, and the program would draw on one core.
find_program(MINGW_POSIX_CXX ${MINGW_PREFIX}-g++-posix)
if(MINGW_POSIX_CXX)
    set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc-posix)
    set(CMAKE_CXX_COMPILER ${MINGW_POSIX_CXX})
else()
    set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc)
    set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++)
endif()
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
