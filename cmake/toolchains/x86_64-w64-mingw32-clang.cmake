# The Windows build with clang and lld in place of GCC: the nearest check here
# that the sources keep to standard C++ and the Windows API, as MSVC would
# take them. Headers and import libraries are MinGW-w64's, the C++ library
# GCC's libstdc++ of the variant with POSIX threads (Debian's
# g++-mingw-w64-x86-64-posix), as in the GCC build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(QUIMBEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${QUIMBEL_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${QUIMBEL_MINGW_TRIPLE})
set(CMAKE_RC_COMPILER ${QUIMBEL_MINGW_TRIPLE}-windres)

# clang looks for libstdc++ where GCC's version folder has no suffix; Debian
# names it after the thread model.
file(GLOB quimbel_mingw_gcc_dirs /usr/lib/gcc/${QUIMBEL_MINGW_TRIPLE}/*-posix)
list(SORT quimbel_mingw_gcc_dirs COMPARE NATURAL ORDER DESCENDING)
list(GET quimbel_mingw_gcc_dirs 0 quimbel_mingw_gcc)
if(NOT IS_DIRECTORY "${quimbel_mingw_gcc}/include/c++")
  message(FATAL_ERROR "No MinGW-w64 libstdc++ with POSIX threads under /usr/lib/gcc/${QUIMBEL_MINGW_TRIPLE}: "
                      "install g++-mingw-w64-x86-64-posix")
endif()
string(JOIN " " quimbel_mingw_includes
       "-isystem ${quimbel_mingw_gcc}/include/c++"
       "-isystem ${quimbel_mingw_gcc}/include/c++/${QUIMBEL_MINGW_TRIPLE}"
       "-isystem ${quimbel_mingw_gcc}/include/c++/backward")
# GCC's libstdc++ keeps its thread-local variables emulated, as GCC does on
# MinGW: clang must reach them the same way.
set(CMAKE_C_FLAGS_INIT "-femulated-tls")
set(CMAKE_CXX_FLAGS_INIT "${quimbel_mingw_includes} -femulated-tls")

set(CMAKE_FIND_ROOT_PATH /usr/${QUIMBEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Linked by lld, everything static as in the GCC build. libstdc++ with POSIX
# threads needs winpthread, which GCC's driver adds by itself; lld takes it
# wherever it stands on the line.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -static -L${quimbel_mingw_gcc} -lpthread")
endforeach()
