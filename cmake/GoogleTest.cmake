# GoogleTest and GoogleMock from source (the distribution's /usr/src/googletest), built with the
# project's own compiler so that the same code serves native, 32-bit and Windows builds.
set(EXCLUSIVE_TONE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${EXCLUSIVE_TONE_GTEST_SOURCE}/CMakeLists.txt)
  # A build asked for tests fails rather than passing with none.
  message(FATAL_ERROR "No GoogleTest sources in ${EXCLUSIVE_TONE_GTEST_SOURCE} (Debian's googletest). "
                      "Set EXCLUSIVE_TONE_GTEST_SOURCE to a GoogleTest source tree, or configure "
                      "with -DEXCLUSIVE_TONE_TESTS=OFF to build without tests.")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${EXCLUSIVE_TONE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)
