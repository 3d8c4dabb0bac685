# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix threads).
# Pass -DPOSTERGEN_WIN_PREFIX=<dir> (or set it in the environment) to find the
# libraries built by scripts/windows/build-prefix.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_AR ${triplet}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${triplet}-ranlib CACHE FILEPATH "")

if(NOT POSTERGEN_WIN_PREFIX AND DEFINED ENV{POSTERGEN_WIN_PREFIX})
  set(POSTERGEN_WIN_PREFIX "$ENV{POSTERGEN_WIN_PREFIX}")
endif()
# Try-compile projects get the toolchain file too; hand them the prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES POSTERGEN_WIN_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
if(POSTERGEN_WIN_PREFIX)
  list(PREPEND CMAKE_FIND_ROOT_PATH "${POSTERGEN_WIN_PREFIX}")
  # pkg-config must see the prefix's .pc files and none of the build machine's.
  set(ENV{PKG_CONFIG_LIBDIR} "${POSTERGEN_WIN_PREFIX}/lib/pkgconfig:${POSTERGEN_WIN_PREFIX}/share/pkgconfig")
  unset(ENV{PKG_CONFIG_PATH})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
