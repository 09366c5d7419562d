# Compiler and linker settings shared by every target of the project.

# The tone codes depend on each double operation rounding on its own: no x87 extended
# precision in 32-bit builds and no fused multiply-add anywhere.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-ffp-contract=off)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_compile_options(-msse2 -mfpmath=sse)
  endif()
elseif(MSVC)
  add_compile_options(/fp:precise)
endif()

if(EXCLUSIVE_TONE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # Windows Vista is the oldest system the program supports.
  add_compile_definitions(_WIN32_WINNT=0x0600 WINVER=0x0600 UNICODE _UNICODE)
  if(MINGW)
    # One self-contained executable: no libstdc++, libgcc, winpthread or ssp DLL beside it.
    # Terminal-server aware: the program uses no INI file or other state in the Windows
    # folder that Terminal Server would have to redirect per user.
    add_link_options(-static -Wl,--subsystem,console:6.0 -Wl,--major-os-version,6
                     -Wl,--minor-os-version,0 -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware)
    # Stack canaries in every function with an array or an address-taken local. The product
    # brings its own guard (src/platform/stack_protector.cpp); the flag on the link adds GCC's
    # libssp, statically, for the targets without it (the tests, the endpoint DLL).
    # (C and C++ only: the resource compiler shares these options but knows none of them.)
    add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong>")
    add_link_options(-fstack-protector-strong)
    # Reproducible: no link time in the PE header, and no source or build folder in the
    # debug information (kept in a file of its own on release) or in __FILE__. The later
    # map wins, so a build folder inside the sources maps to ./build.
    add_link_options(-Wl,--no-insert-timestamp)
    set(prefix_maps -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}=./build)
    add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-g;${prefix_maps}>")
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      add_link_options(-Wl,--high-entropy-va)
    endif()
  elseif(MSVC)
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
    add_link_options(/SUBSYSTEM:CONSOLE,6.00 /DYNAMICBASE /NXCOMPAT)
  endif()
endif()

# Warnings as errors for the project's own targets (not for third-party code built alongside).
function(exclusive_tone_strict target)
  if(MSVC)
    set(flags /W4 /WX /permissive-)
  else()
    set(flags -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Werror)
  endif()
  # C++ only: the resource compiler shares the target's options but knows none of these.
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${flags}>")
endfunction()
