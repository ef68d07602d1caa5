# What both mingw-w64 cross toolchains share: the 64-bit Windows target and where its headers
# and libraries live. Included by the toolchain files, never by the project.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VLX_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_RC_COMPILER ${VLX_MINGW_TRIPLE}-windres)

# Libraries, headers and packages come from the target's tree only: the build host's GoogleTest
# or headers would be Linux ones. Programs (windres, Wine) are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${VLX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
