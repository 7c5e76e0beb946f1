# Cross build for x86_64 Windows with the posix-thread mingw-w64 compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QIV_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${QIV_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QIV_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${QIV_TRIPLE}-windres)
set(QIV_WIDL           ${QIV_TRIPLE}-widl)
# Dependencies: the mingw sysroot (zlib) and our own cross-built codec libraries.
set(QIV_DEPS_PREFIX "" CACHE PATH "Prefix of the cross-built codec libraries")
set(CMAKE_FIND_ROOT_PATH /usr/${QIV_TRIPLE} ${QIV_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Link zlib statically: nothing but system DLLs beside the products.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
