# The 32-bit Windows build with clang instead of GCC, against the same MinGW-w64 headers,
# libraries and libstdc++: a second compiler to catch what only GCC accepts.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triplet i686-w64-mingw32)
set(gcc_dir /usr/lib/gcc/${triplet}/12-posix)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${triplet})
set(CMAKE_CXX_COMPILER_TARGET ${triplet})
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${gcc_dir}/include/c++ ${gcc_dir}/include/c++/${triplet}
                                           ${gcc_dir}/include/c++/backward)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${gcc_dir}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-L${gcc_dir}")
set(CMAKE_CXX_STANDARD_LIBRARIES "-lstdc++ -lpthread")
# The sysroot keeps the host's own /usr/include out of the search path.
set(CMAKE_SYSROOT /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine32-run)
