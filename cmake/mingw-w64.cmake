# Cross-compiling for Windows x86-64 with Debian's MinGW-w64 (package g++-mingw-w64-x86-64-posix).
# The posix-threads compiler is needed: the win32-threads one has no std::thread or std::mutex.
# Give the Qt for MinGW with -DCMAKE_PREFIX_PATH=<qt> (tools/build-windows does).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KAVETTA_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KAVETTA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KAVETTA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KAVETTA_MINGW}-windres)

# A Qt prefix outside the MinGW root is only searched when it is a root of its own as well.
set(CMAKE_FIND_ROOT_PATH /usr/${KAVETTA_MINGW} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# moc, rcc and uic run on the build machine: Debian's own Qt 6 (qt6-base-dev).
if(NOT QT_HOST_PATH)
    set(QT_HOST_PATH /usr)
endif()
if(NOT QT_HOST_PATH_CMAKE_DIR)
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()

# Wine runs the tests; cmake/wine-run.sh makes them headless and shows QtTest's output.
find_program(KAVETTA_WINE NAMES wine wine64)
if(KAVETTA_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
endif()

# One program that needs no DLL beyond Windows' own: no libgcc, libstdc++ or winpthread beside it.
# The stack protector's runtime (libssp) is linked in statically too. ASLR, high-entropy
# addresses and NX are the MinGW linker's defaults.
set(CMAKE_C_FLAGS_INIT -fstack-protector-strong)
set(CMAKE_CXX_FLAGS_INIT -fstack-protector-strong)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -fstack-protector-strong")
