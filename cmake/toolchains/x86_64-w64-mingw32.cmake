# Cross-compiling for 64-bit Windows with Debian's MinGW-w64, the variant with
# POSIX threads (package g++-mingw-w64-x86-64-posix), which std::thread and
# std::mutex need.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(QUIMBEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUIMBEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUIMBEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUIMBEL_MINGW_TRIPLE}-windres)

# Libraries and headers come from the MinGW sysroot only, programs run during
# the build (windres, the icon generator, Wine) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QUIMBEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The GCC runtime, libstdc++ and winpthread linked in, so every .exe needs
# nothing beside it but Windows' own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
