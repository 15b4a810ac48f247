// Redirects imports of a loaded module (entries of its import address table) so that a test can
// count or fail the library's calls into the system.
#pragma once
#include <windows.h>

#include <vector>

// Replaces module's import of function from dll (names compared case-insensitively) with
// replacement and returns what the entry held; null when the module does not import it.
// Call again with the returned address to restore.
void* patchImport(HMODULE module, const char* dll, const char* function, void* replacement);

// One redirected import; *original receives what the entry held, so a wrapper can call on.
struct ImportPatch {
    const char* dll;
    const char* function;
    void* replacement;
    void** original;
};

template <class F>
ImportPatch importPatch(const char* dll, const char* function, F replacement, F* original) {
    return {dll, function, reinterpret_cast<void*>(replacement), reinterpret_cast<void**>(original)};
}

// Applies every patch; returns the first that the module does not import, or null.
const ImportPatch* applyImportPatches(HMODULE module, const std::vector<ImportPatch>& patches);
void restoreImportPatches(HMODULE module, const std::vector<ImportPatch>& patches);
