# 64-bit Windows build; its programs run under 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUORBELT_TRIPLET x86_64-w64-mingw32)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
