# Shared part of the toolchain files: QUORBELT_TRIPLET names the MinGW-w64 target.
set(CMAKE_SYSTEM_NAME Windows)
# The posix thread model is what GoogleTest needs; with -static nothing of it is imported.
set(CMAKE_C_COMPILER ${QUORBELT_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORBELT_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORBELT_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUORBELT_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
