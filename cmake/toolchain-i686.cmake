# 32-bit Windows build; its programs run under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUORBELT_TRIPLET i686-w64-mingw32)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
