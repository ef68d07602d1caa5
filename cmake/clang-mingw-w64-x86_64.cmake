# Cross-compiling for 64-bit Windows with the build host's Clang on the mingw-w64 headers and
# libraries, and the C++ library of the posix-thread mingw-w64 GCC (the same runtime as the GCC
# build). Links with lld or the mingw-w64 binutils linker.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${VLX_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${VLX_MINGW_TRIPLE})
# Clang takes its C headers and start-up files from the sysroot; without one it would fall back
# to the host's /usr/include.
set(CMAKE_SYSROOT /usr/${VLX_MINGW_TRIPLE})

# Clang does not recognise Debian's versioned GCC folders (12-posix): name the C++ library's
# headers and archives explicitly. The newest posix-thread GCC wins. Clang's own C++ header
# folders are all below the sysroot, where mingw-w64 has none.
file(GLOB vlx_gcc_dirs LIST_DIRECTORIES true /usr/lib/gcc/${VLX_MINGW_TRIPLE}/*-posix)
list(SORT vlx_gcc_dirs COMPARE NATURAL ORDER DESCENDING)
list(POP_FRONT vlx_gcc_dirs VLX_MINGW_GCC_DIR)
if(NOT IS_DIRECTORY "${VLX_MINGW_GCC_DIR}/include/c++")
  message(FATAL_ERROR "No posix-thread mingw-w64 GCC under /usr/lib/gcc/${VLX_MINGW_TRIPLE}: "
                      "install g++-mingw-w64-x86-64-posix")
endif()
set(vlx_cxx_include "${VLX_MINGW_GCC_DIR}/include/c++")
set(CMAKE_CXX_FLAGS_INIT "-isystem ${vlx_cxx_include} \
-isystem ${vlx_cxx_include}/${VLX_MINGW_TRIPLE} -isystem ${vlx_cxx_include}/backward")

# libgcc_eh of the posix-thread GCC calls winpthreads: -pthread links it into programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${VLX_MINGW_GCC_DIR} -pthread")
# Programs link with lld where it is installed: the binutils linker warns about every type
# name that Clang and GCC's C++ library both define in different sizes. DLLs keep the binutils
# linker, which links a resource-only DLL without an entry point (-e 0); lld 14 cannot.
find_program(VLX_LLD ld.lld)
if(VLX_LLD)
  string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -fuse-ld=lld")
endif()
