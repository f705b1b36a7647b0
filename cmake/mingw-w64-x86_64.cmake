# Cross-building the Windows program with Debian's mingw-w64 toolchain. The posix flavour of the compiler gives
# std::thread and std::mutex; everything links statically, so no DLL but the system's sits beside the program.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MOX_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${MOX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MOX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MOX_MINGW_PREFIX}-windres)
set(CMAKE_AR ${MOX_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${MOX_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${MOX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

