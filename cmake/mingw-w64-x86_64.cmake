# Cross-compiling the reader library for 64-bit Windows with Debian's mingw-w64
# (g++-mingw-w64-x86-64-posix). The POSIX thread model is the one whose
# libstdc++ has std::mutex and std::thread.
#   cmake -S . -B build-win -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VARROK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VARROK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VARROK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VARROK_MINGW_PREFIX}-windres)
set(CMAKE_AR ${VARROK_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${VARROK_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${VARROK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime, libgcc and winpthread go inside each binary, so the DLL
# needs nothing beside it but the system's own DLLs.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
