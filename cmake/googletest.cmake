# Finds GoogleTest for the unit tests. Sets VLX_GTEST_FOUND; vlx_add_googletest() then makes the
# targets GTest::gtest and GTest::gmock available to the calling folder.
#
# An installed package for the target comes first (MSYS2's gtest, or one cross-built into the
# toolchain's root: the toolchain files keep the host's Linux package out of reach). Otherwise a
# GoogleTest source tree is built with the tests: -DGTEST_SOURCE_DIR=... names one, and Debian's
# googletest package puts one in /usr/src/googletest.
find_package(GTest CONFIG QUIET)
if(GTest_FOUND)
  set(VLX_GTEST_FOUND TRUE)
else()
  # The sources are host files, not part of the target's tree: search outside the find root.
  find_path(GTEST_SOURCE_DIR
    NAMES googletest/include/gtest/gtest.h
    HINTS ENV GTEST_SOURCE_DIR /usr/src/googletest /usr/local/src/googletest
          ${CMAKE_SOURCE_DIR}/../googletest
    NO_CMAKE_FIND_ROOT_PATH
    DOC "GoogleTest source tree (with googletest/ and googlemock/), built with the tests")
  if(GTEST_SOURCE_DIR AND EXISTS "${GTEST_SOURCE_DIR}/CMakeLists.txt")
    set(VLX_GTEST_FOUND TRUE)
  else()
    set(VLX_GTEST_FOUND FALSE)
  endif()
endif()

macro(vlx_add_googletest)
  if(NOT GTest_FOUND)
    # Built like the product: static, with the static C and C++ runtimes.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
endmacro()
