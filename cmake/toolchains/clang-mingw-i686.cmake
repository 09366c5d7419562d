# The 32-bit Windows build with clang instead of GCC, against the same MinGW-w64 headers,
# libraries and libstdc++: a second compiler to catch what only GCC accepts.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triplet i686-w64-mingw32)
set(mingw_gxx ${triplet}-g++-posix)

# The folders of MinGW-w64's own libstdc++, asked of its GCC: each distribution release ships
# another GCC version, and so another folder.
execute_process(COMMAND ${mingw_gxx} -print-file-name=libstdc++.a
                OUTPUT_VARIABLE libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
if(failed OR NOT IS_ABSOLUTE "${libstdcxx}")
  message(FATAL_ERROR "${mingw_gxx} does not name its libstdc++.a: is MinGW-w64 installed?")
endif()
get_filename_component(gcc_lib_dir "${libstdcxx}" DIRECTORY)
execute_process(COMMAND ${mingw_gxx} -x c++ -E -v -
                INPUT_FILE /dev/null OUTPUT_QUIET ERROR_VARIABLE search_report)
string(REGEX MATCH "#include <\\.\\.\\.> search starts here:\n(.*)End of search list" _
             "${search_report}")
string(REGEX MATCHALL "[^ \n]+/c\\+\\+[^ \n]*" cxx_include_dirs "${CMAKE_MATCH_1}")
if(NOT cxx_include_dirs)
  message(FATAL_ERROR "${mingw_gxx} names no C++ header folder:\n${search_report}")
endif()

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${triplet})
set(CMAKE_CXX_COMPILER_TARGET ${triplet})
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${cxx_include_dirs})
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${gcc_lib_dir}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-L${gcc_lib_dir}")
set(CMAKE_CXX_STANDARD_LIBRARIES "-lstdc++ -lpthread")
# The sysroot keeps the host's own /usr/include out of the search path.
set(CMAKE_SYSROOT /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine32-run)
