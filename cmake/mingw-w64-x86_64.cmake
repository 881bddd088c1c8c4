# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix:
# the POSIX thread model, which std::thread and std::mutex need). With Qt for mingw-w64
# (-DTESSIVAR_QT_MINGW_DIR=<the prefix scripts/build_qt_mingw.sh prints>) the whole program
# is built, against Qt's DLLs and the compiler's run-time DLLs; without, only what needs no
# Qt, linked statically so that it runs without DLLs beside it. Tests run under Wine through
# CTest's cross-compiling emulator (see scripts/test_windows.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(TESSIVAR_QT_MINGW_DIR)
  list(APPEND CMAKE_FIND_ROOT_PATH ${TESSIVAR_QT_MINGW_DIR})
  list(APPEND CMAKE_PREFIX_PATH ${TESSIVAR_QT_MINGW_DIR})
  # The host's moc, rcc and uic, of the same version.
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
  # Tests find Qt's DLLs, and the compiler's beside them, through Wine's search path.
  set(_tessivar_wine_path WINEPATH=Z:${TESSIVAR_QT_MINGW_DIR}/bin)
else()
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()

# Wine runs the tests headless in a private prefix inside the build folder: no display,
# no debug channels, no prompts for the .NET and HTML runtimes nobody here uses.
find_program(TESSIVAR_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
if(TESSIVAR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
      WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all
      WINEDLLOVERRIDES=mscoree,mshtml= ${_tessivar_wine_path}
      ${TESSIVAR_WINE})
endif()
