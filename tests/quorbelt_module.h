#pragma once
#include <windows.h>

HMODULE quorbeltModule();  // the library under test, loaded once for the whole program
const void* quorbeltExport(const char* name);  // fails the test when the name is missing
