# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix threading variant, which has std::thread
# and std::mutex). Used by scripts/build-windows and scripts/build-windows-deps.
#
# QUORL_WIN_DEPS_PREFIX (cache or environment) names the static prefix that scripts/build-windows-deps fills with
# the cross-built libraries; it is searched before the compiler's own sysroot. Programs built here run under Wine
# through CMAKE_CROSSCOMPILING_EMULATOR (tests through CTest, discovery of GoogleTest cases).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUORL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUORL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORL_MINGW_TRIPLE}-windres)
set(CMAKE_AR /usr/bin/${QUORL_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB /usr/bin/${QUORL_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "Ranlib")

if(NOT QUORL_WIN_DEPS_PREFIX AND DEFINED ENV{QUORL_WIN_DEPS_PREFIX})
  set(QUORL_WIN_DEPS_PREFIX $ENV{QUORL_WIN_DEPS_PREFIX})
endif()
set(QUORL_WIN_DEPS_PREFIX "${QUORL_WIN_DEPS_PREFIX}" CACHE PATH "Static prefix of the cross-built libraries")

# try_compile projects see the toolchain file again; these carry the prefix and the emulator into them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORL_WIN_DEPS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORL_MINGW_TRIPLE})
if(QUORL_WIN_DEPS_PREFIX)
  list(PREPEND CMAKE_FIND_ROOT_PATH ${QUORL_WIN_DEPS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static archives first: the sysroot holds import libraries (libz.dll.a) next to them.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a .lib .dll.a)

# pkg-config answers from the prefix only, with every private dependency of the static libraries.
if(QUORL_WIN_DEPS_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR} ${QUORL_WIN_DEPS_PREFIX}/lib/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()
# pkg_check_modules (CMake 3.25) passes --static only when it is named here.
set(PKG_CONFIG_ARGN --static CACHE STRING "Arguments pkg-config always gets")

# Wine runs the programs; the 64-bit loader directly, as Debian's wine wrapper looks for a 32-bit one first.
find_program(QUORL_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT QUORL_WINE)
  find_program(QUORL_WINE NAMES wine64 wine)
endif()
if(QUORL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORL_WINE})
endif()
