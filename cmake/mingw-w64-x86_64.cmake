# Cross-compiling for 64-bit Windows with the mingw-w64 GCC, posix thread model (GoogleTest
# needs std::mutex, which the win32 thread model lacks). The project takes this file by itself
# when it is configured without a toolchain on a host that is not Windows.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

set(CMAKE_C_COMPILER ${VLX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VLX_MINGW_TRIPLE}-g++-posix)
