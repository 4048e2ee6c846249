# Cross build for Windows (make windows): mingw-w64's posix-thread compilers,
# which have std::thread (the win32-thread ones do not), and static linking,
# so that qmss.exe runs on a Windows laptop without any DLL beside it. Tests
# run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# There is no Qt for this compiler here: the library and qmss.exe only.
set(QMSS_APP OFF CACHE BOOL "Build the desktop app (needs Qt 6 Widgets)")
# -O2: GCC 12 at -O3 warns falsely of overlapping copies (-Wrestrict) inside
# std::string, which -Werror would turn into a failed build.
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of the Release build")
