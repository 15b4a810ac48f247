// Registry values as automation values for the macro project: read one value, write one value,
// list a key's sub-keys. Each call opens its own key and closes it before it returns; running
// out of memory gives the same result as any other failure, and no exception leaves an export.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ansi_to_wide.h"

// The caller's VARIANT layout: the result record it hands in and the by-value argument it pushes.
static_assert(sizeof(VARIANT) == (sizeof(void*) == 8 ? 24 : 16), "VARIANT size of this width");

namespace {

// A name buffer of 256 characters holds the longest sub-key name (255) and its NUL.
constexpr DWORD kNameCapacity = 256;

void storeDword(DWORD number, VARIANT* result) {
    // 0 and 1 are the macro project's Booleans; anything else is a number.
    if (number <= 1) {
        result->vt = VT_BOOL;
        result->boolVal = number ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
        result->vt = VT_I4;
        result->lVal = static_cast<LONG>(number);
    }
}

// Text up to its first NUL, bounded by the data: stored text need not end with one, and an odd
// trailing byte is no character.
void storeText(const BYTE* data, DWORD size, VARIANT* result) {
    if (size == 0) {
        result->vt = VT_BSTR;
        result->bstrVal = nullptr;
        return;
    }
    std::wstring text(size / sizeof(WCHAR), L'\0');
    if (!text.empty()) std::memcpy(&text[0], data, text.size() * sizeof(WCHAR));
    text.resize(std::find(text.begin(), text.end(), L'\0') - text.begin());
    BSTR string = SysAllocString(text.c_str());
    if (!string) return;
    result->vt = VT_BSTR;
    result->bstrVal = string;
}

void convertValue(DWORD type, const BYTE* data, DWORD size, VARIANT* result) {
    switch (type) {
    case REG_DWORD:
        // Shorter data hold no number; bytes past the fourth are not part of it.
        if (size >= sizeof(DWORD)) {
            DWORD number;
            std::memcpy(&number, data, sizeof number);
            storeDword(number, result);
        }
        break;
    case REG_SZ:
    case REG_EXPAND_SZ:
        storeText(data, size, result);
        break;
    default:
        break;
    }
}

void readValue(HKEY key, const std::wstring& name, VARIANT* result) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return;
    std::vector<BYTE> buffer(size);
    BYTE* data = buffer.empty() ? nullptr : buffer.data();
    size = static_cast<DWORD>(buffer.size());
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, data, &size) != ERROR_SUCCESS) return;
    // With no buffer the second query only measures, so a value that grew from empty in between
    // reports success with a size the buffer does not have: that is a grown value like any other.
    if (size > buffer.size()) return;
    convertValue(type, data, size, result);
}

LSTATUS writeValue(HKEY key, const std::wstring& name, const VARIANT& value) {
    const WCHAR* const target = name.c_str();
    switch (value.vt) {
    case VT_BSTR: {
        // The length prefix counts, not the first NUL: embedded NULs are written as well.
        const uint64_t size = (uint64_t{SysStringLen(value.bstrVal)} + 1) * sizeof(WCHAR);
        if (size > MAXDWORD) return ERROR_INVALID_PARAMETER;
        // A null string is the empty string; the registry is given a lone NUL, not a null pointer.
        const WCHAR none = L'\0';
        const WCHAR* text = value.bstrVal ? value.bstrVal : &none;
        return RegSetValueExW(key, target, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                              static_cast<DWORD>(size));
    }
    case VT_I4: {
        const DWORD number = static_cast<DWORD>(value.lVal);
        return RegSetValueExW(key, target, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                              sizeof number);
    }
    case VT_BOOL: {
        const DWORD flag = value.boolVal == VARIANT_TRUE ? 1 : 0;
        return RegSetValueExW(key, target, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flag),
                              sizeof flag);
    }
    default:
        return ERROR_INVALID_PARAMETER;
    }
}

void gatherSubKeyNames(HKEY key, std::vector<std::wstring>& names) {
    WCHAR buffer[kNameCapacity];
    for (DWORD index = 0;; ++index) {
        DWORD length = kNameCapacity;  // each call overwrites it
        // An error ends the list like its end does: the names so far are the answer.
        if (RegEnumKeyExW(key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return;
        names.emplace_back(buffer, std::find(buffer, buffer + kNameCapacity, L'\0'));
    }
}

// A zero-based array of string VARIANTs, or null when any part of it cannot be made.
SAFEARRAY* makeNameArray(const std::vector<std::wstring>& names) {
    SAFEARRAYBOUND bound;
    bound.cElements = static_cast<ULONG>(names.size());
    bound.lLbound = 0;
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
    if (!array) return nullptr;
    for (size_t i = 0; i < names.size(); ++i) {
        VARIANT element;
        VariantInit(&element);
        element.vt = VT_BSTR;
        element.bstrVal = SysAllocString(names[i].c_str());
        HRESULT stored = E_OUTOFMEMORY;
        if (element.bstrVal) {
            LONG index = static_cast<LONG>(i);
            stored = SafeArrayPutElement(array, &index, &element);  // stores its own copy
        }
        VariantClear(&element);
        if (FAILED(stored)) {
            SafeArrayDestroy(array);
            return nullptr;
        }
    }
    return array;
}

}  // namespace

extern "C" VARIANT WINAPI WINAPI_GetRegistryValue(HKEY root, LPCSTR path, LPCSTR name) {
    VARIANT result;
    VariantInit(&result);
    HKEY key = nullptr;
    bool opened = false;
    try {
        const std::wstring widePath = AnsiToWide(path);
        const std::wstring wideName = AnsiToWide(name);
        opened = RegOpenKeyExW(root, widePath.c_str(), 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS;
        if (opened) readValue(key, wideName, &result);
    } catch (...) {
        VariantClear(&result);
    }
    if (opened) RegCloseKey(key);
    return result;
}

extern "C" int WINAPI WINAPI_SetRegistryValue(HKEY root, LPCSTR path, LPCSTR name,
                                              VARIANT value) {
    try {
        const std::wstring widePath = AnsiToWide(path);
        const std::wstring wideName = AnsiToWide(name);
        HKEY key = nullptr;
        // The path is made before the value is looked at, and stays when the value is refused.
        if (RegCreateKeyExW(root, widePath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return 0;
        const LSTATUS status = writeValue(key, wideName, value);
        RegCloseKey(key);
        return status == ERROR_SUCCESS ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

extern "C" VARIANT WINAPI WINAPI_GetRegistrySubKeysArray(HKEY root, LPCSTR path) {
    VARIANT result;
    VariantInit(&result);
    try {
        const std::wstring widePath = AnsiToWide(path);
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, widePath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return result;
        std::vector<std::wstring> names;
        bool listed = false;
        try {
            gatherSubKeyNames(key, names);
            listed = true;
        } catch (...) {
        }
        RegCloseKey(key);
        if (!listed) return result;
        // The array form is set only once the array exists.
        if (SAFEARRAY* array = makeNameArray(names)) {
            result.vt = VT_ARRAY | VT_VARIANT;
            result.parray = array;
        }
    } catch (...) {
    }
    return result;
}
