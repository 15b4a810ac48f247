// Redirects one import of a loaded module (an entry of its import address table) so that a test
// can count or fail the library's calls into the system.
#pragma once
#include <windows.h>

// Replaces module's import of function from dll (names compared case-insensitively) with
// replacement and returns what the entry held; null when the module does not import it.
// Call again with the returned address to restore.
void* patchImport(HMODULE module, const char* dll, const char* function, void* replacement);
