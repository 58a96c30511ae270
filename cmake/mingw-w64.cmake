# Cross-building for Windows with Debian's MinGW-w64 compilers of the "posix"
# thread model (the "win32" model has no std::thread). Included by the
# per-architecture files, which set VELK_MINGW_TRIPLET first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VELK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VELK_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VELK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs and the DLL carry their C++ and GCC runtimes: nothing to ship beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libstdc++ -static-libgcc -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libstdc++ -static-libgcc -static")
