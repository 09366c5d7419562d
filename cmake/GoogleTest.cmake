# GoogleTest and GoogleMock from the distribution's sources, built with the project's own
# compiler so that the same code serves native, 32-bit and Windows builds.
set(EXCLUSIVE_TONE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${EXCLUSIVE_TONE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)
