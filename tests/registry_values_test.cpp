// The registry value services, called from the loaded library as the macro project calls them.
// Every test runs with the library's registry, automation and allocation imports redirected to
// counting spies, so each one also proves that every key the library opened was closed once.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "import_spy.h"
#include "quorbelt_module.h"
#include "stack_probe.h"

namespace {

using GetValueFn = VARIANT(WINAPI*)(HKEY, LPCSTR, LPCSTR);
using SetValueFn = int(WINAPI*)(HKEY, LPCSTR, LPCSTR, VARIANT);
using SubKeysFn = VARIANT(WINAPI*)(HKEY, LPCSTR);

const wchar_t kTestKey[] = L"Software\\QuorbeltRegistryValuesTest";
using Bytes = std::vector<BYTE>;

// What the spies saw, and the one call of each kind they are told to fail (0: none).
struct Spy {
    std::vector<HKEY> open;  // keys the library opened or created and has not closed yet
    int foreignCloses = 0;   // closes of handles the library did not open, or closed twice
    std::vector<REGSAM> access;
    int enumLengthNot256 = 0;
    int queries = 0;
    std::function<void()> beforeSecondQuery;
    int enums = 0, failEnum = 0;
    int allocs = 0, failAlloc = 0;
    int creates = 0, failCreate = 0, destroys = 0;
    int puts = 0, failPut = 0;
    int mallocs = 0, failMalloc = 0;
};
Spy spy;

LSTATUS WINAPI spyOpen(HKEY root, LPCWSTR path, DWORD options, REGSAM access, PHKEY key) {
    spy.access.push_back(access);
    const LSTATUS status = RegOpenKeyExW(root, path, options, access, key);
    if (status == ERROR_SUCCESS) spy.open.push_back(*key);
    return status;
}

LSTATUS WINAPI spyCreate(HKEY root, LPCWSTR path, DWORD reserved, LPWSTR className,
                         DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY key,
                         LPDWORD disposition) {
    spy.access.push_back(access);
    const LSTATUS status = RegCreateKeyExW(root, path, reserved, className, options, access,
                                           security, key, disposition);
    if (status == ERROR_SUCCESS) spy.open.push_back(*key);
    return status;
}

LSTATUS WINAPI spyClose(HKEY key) {
    for (size_t i = 0; i < spy.open.size(); ++i)
        if (spy.open[i] == key) {
            spy.open.erase(spy.open.begin() + i);
            return RegCloseKey(key);
        }
    ++spy.foreignCloses;
    return RegCloseKey(key);
}

LSTATUS WINAPI spyQuery(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                        LPDWORD size) {
    if (++spy.queries == 2 && spy.beforeSecondQuery) spy.beforeSecondQuery();
    return RegQueryValueExW(key, name, reserved, type, data, size);
}

LSTATUS WINAPI spyEnum(HKEY key, DWORD index, LPWSTR name, LPDWORD length, LPDWORD reserved,
                       LPWSTR className, LPDWORD classLength, PFILETIME written) {
    if (*length != 256) ++spy.enumLengthNot256;
    if (++spy.enums == spy.failEnum) return ERROR_ACCESS_DENIED;
    return RegEnumKeyExW(key, index, name, length, reserved, className, classLength, written);
}

BSTR WINAPI spyAlloc(const OLECHAR* text) {
    return ++spy.allocs == spy.failAlloc ? nullptr : SysAllocString(text);
}

SAFEARRAY* WINAPI spyCreateArray(VARTYPE type, UINT dimensions, SAFEARRAYBOUND* bounds) {
    return ++spy.creates == spy.failCreate ? nullptr : SafeArrayCreate(type, dimensions, bounds);
}

HRESULT WINAPI spyDestroyArray(SAFEARRAY* array) {
    ++spy.destroys;
    return SafeArrayDestroy(array);
}

HRESULT WINAPI spyPut(SAFEARRAY* array, LONG* index, void* element) {
    return ++spy.puts == spy.failPut ? E_OUTOFMEMORY : SafeArrayPutElement(array, index, element);
}

void* __cdecl spyMalloc(size_t size) {
    return ++spy.mallocs == spy.failMalloc ? nullptr : std::malloc(size);
}

// What each entry held; the typed slots make the compiler check every spy's signature.
struct Originals {
    decltype(&RegOpenKeyExW) open;
    decltype(&RegCreateKeyExW) create;
    decltype(&RegCloseKey) close;
    decltype(&RegQueryValueExW) query;
    decltype(&RegEnumKeyExW) enumerate;
    decltype(&SysAllocString) alloc;
    decltype(&SafeArrayCreate) createArray;
    decltype(&SafeArrayDestroy) destroyArray;
    decltype(&SafeArrayPutElement) put;
    decltype(&malloc) malloc;
};
Originals originals;
const std::vector<ImportPatch> patches = {
    importPatch("advapi32.dll", "RegOpenKeyExW", &spyOpen, &originals.open),
    importPatch("advapi32.dll", "RegCreateKeyExW", &spyCreate, &originals.create),
    importPatch("advapi32.dll", "RegCloseKey", &spyClose, &originals.close),
    importPatch("advapi32.dll", "RegQueryValueExW", &spyQuery, &originals.query),
    importPatch("advapi32.dll", "RegEnumKeyExW", &spyEnum, &originals.enumerate),
    importPatch("oleaut32.dll", "SysAllocString", &spyAlloc, &originals.alloc),
    importPatch("oleaut32.dll", "SafeArrayCreate", &spyCreateArray, &originals.createArray),
    importPatch("oleaut32.dll", "SafeArrayDestroy", &spyDestroyArray, &originals.destroyArray),
    importPatch("oleaut32.dll", "SafeArrayPutElement", &spyPut, &originals.put),
    importPatch("msvcrt.dll", "malloc", &spyMalloc, &originals.malloc),
};

template <class F>
F exportAs(const char* name) {
    return reinterpret_cast<F>(const_cast<void*>(quorbeltExport(name)));
}

std::string narrow(const wchar_t* text, size_t length) {
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        const unsigned c = text[i];
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[16];
            snprintf(escaped, sizeof escaped, "\\x%x;", c);
            out += escaped;
        }
    }
    return out;
}

std::string quoted(const std::wstring& text) {
    return "BSTR '" + narrow(text.c_str(), text.size()) + "'";
}

std::string describe(const VARIANT& v) {
    switch (v.vt) {
    case VT_EMPTY: return "EMPTY";
    case VT_BOOL: return "BOOL " + std::to_string(v.boolVal);
    case VT_I4: return "I4 " + std::to_string(v.lVal);
    case VT_BSTR:
        return v.bstrVal ? quoted(std::wstring(v.bstrVal, SysStringLen(v.bstrVal))) : "BSTR null";
    case VT_ARRAY | VT_VARIANT: {
        SAFEARRAY* array = v.parray;
        VARTYPE type = VT_EMPTY;
        LONG low = 0, high = -1;
        if (!array || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetVartype(array, &type)) ||
            type != VT_VARIANT)
            return "ARRAY malformed";
        SafeArrayGetLBound(array, 1, &low);
        SafeArrayGetUBound(array, 1, &high);
        std::string out = "ARRAY@" + std::to_string(low) + "{";
        for (LONG i = low; i <= high; ++i) {
            VARIANT element;
            VariantInit(&element);
            SafeArrayGetElement(array, &i, &element);
            out += describe(element) + ";";
            VariantClear(&element);
        }
        return out + "}";
    }
    default: return "vt " + std::to_string(v.vt);
    }
}

// Describes a result and frees it, as the macro project would.
std::string take(VARIANT v) {
    const std::string text = describe(v);
    VariantClear(&v);
    return text;
}

std::string arrayOf(const std::vector<std::wstring>& names) {
    std::string out = "ARRAY@0{";
    for (const std::wstring& name : names) out += quoted(name) + ";";
    return out + "}";
}

// What a read gives for data of a type: the rules the macro project relies on.
std::string expectedRead(DWORD type, const Bytes& data) {
    if (type == REG_DWORD) {
        if (data.size() < 4) return "EMPTY";
        LONG n;
        std::memcpy(&n, data.data(), 4);
        return n == 0 ? "BOOL 0" : n == 1 ? "BOOL -1" : "I4 " + std::to_string(n);
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return "EMPTY";
    if (data.empty()) return "BSTR null";
    std::wstring text(data.size() / 2, L'\0');
    if (!text.empty()) std::memcpy(&text[0], data.data(), text.size() * 2);
    return quoted(text.substr(0, text.find(L'\0')));
}

Bytes wideBytes(const std::wstring& text) {
    Bytes bytes(text.size() * 2);
    if (!bytes.empty()) std::memcpy(bytes.data(), text.data(), bytes.size());
    return bytes;
}

Bytes dwordBytes(DWORD n) { return Bytes{BYTE(n), BYTE(n >> 8), BYTE(n >> 16), BYTE(n >> 24)}; }

// What a write is given; made into a VARIANT, with its own string, for each call.
struct Value {
    VARTYPE vt;
    LONG number;                    // lVal, or boolVal for VT_BOOL
    const wchar_t* text = nullptr;  // VT_BSTR: null gives a null string
    size_t length = 0;
};

VARIANT makeVariant(const Value& value, LONG* byrefTarget) {
    VARIANT v;
    VariantInit(&v);
    v.vt = value.vt;
    v.lVal = value.number;
    if (value.vt == VT_BOOL) v.boolVal = static_cast<VARIANT_BOOL>(value.number);
    if (value.vt == VT_BSTR)
        v.bstrVal = value.text ? SysAllocStringLen(value.text, static_cast<UINT>(value.length))
                               : nullptr;
    if (value.vt & VT_BYREF) v.plVal = byrefTarget;
    return v;
}

void freeVariant(VARIANT& v) {
    if (v.vt == VT_BSTR) VariantClear(&v);
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
        getValue_ = exportAs<GetValueFn>("WINAPI_GetRegistryValue");
        setValue_ = exportAs<SetValueFn>("WINAPI_SetRegistryValue");
        subKeys_ = exportAs<SubKeysFn>("WINAPI_GetRegistrySubKeysArray");
        ASSERT_TRUE(getValue_ && setValue_ && subKeys_);
        spy = Spy{};
        const ImportPatch* missing = applyImportPatches(quorbeltModule(), patches);
        ASSERT_EQ(missing, nullptr) << missing->dll << " " << missing->function << " is not imported";
    }

    void TearDown() override {
        restoreImportPatches(quorbeltModule(), patches);
        EXPECT_TRUE(spy.open.empty()) << spy.open.size() << " keys left open";
        EXPECT_EQ(spy.foreignCloses, 0);
        EXPECT_EQ(spy.enumLengthNot256, 0);
        RegCloseKey(key_);
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    }

    std::string get(const char* path, const char* name) {
        return take(getValue_(key_, path, name));
    }
    std::string list(const char* path) { return take(subKeys_(key_, path)); }
    int set(const char* path, const char* name, const Value& value) {
        LONG target = 5;
        VARIANT v = makeVariant(value, &target);
        const int result = setValue_(key_, path, name, v);
        freeVariant(v);
        return result;
    }

    // Stores data as given: a trailing non-NUL pad keeps the registry from counting a NUL that
    // happens to follow string data.
    void putRaw(const wchar_t* name, DWORD type, const Bytes& data) {
        Bytes padded = data;
        padded.insert(padded.end(), {0x58, 0x58, 0x58, 0x58});
        ASSERT_EQ(RegSetValueExW(key_, name, 0, type, padded.data(), DWORD(data.size())), 0);
        DWORD size = 0;
        ASSERT_EQ(RegQueryValueExW(key_, name, nullptr, nullptr, nullptr, &size), 0);
        ASSERT_EQ(size, data.size());
    }

    // The stored type and data of a value under the test key, or nothing.
    bool stored(const wchar_t* path, const wchar_t* name, DWORD* type, Bytes* data) {
        DWORD size = 0;
        if (RegGetValueW(key_, path, name, RRF_RT_ANY | RRF_NOEXPAND, type, nullptr, &size))
            return false;
        data->assign(size, 0);
        return RegGetValueW(key_, path, name, RRF_RT_ANY | RRF_NOEXPAND, type,
                            data->empty() ? nullptr : data->data(), &size) == ERROR_SUCCESS;
    }

    std::vector<std::wstring> enumerated(const wchar_t* path) {
        std::vector<std::wstring> names;
        HKEY key;
        if (RegOpenKeyExW(key_, path, 0, KEY_READ, &key)) return names;
        wchar_t name[256];
        DWORD length = 256;
        for (DWORD i = 0; RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr,
                                        nullptr) == ERROR_SUCCESS;
             ++i, length = 256)
            names.push_back(name);
        RegCloseKey(key);
        return names;
    }

    void makeKeys(const wchar_t* path, const std::vector<std::wstring>& names) {
        for (const std::wstring& name : names) {
            const std::wstring full = *path ? std::wstring(path) + L"\\" + name : name;
            HKEY key;
            ASSERT_EQ(RegCreateKeyExW(key_, full.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                      &key, nullptr),
                      0);
            RegCloseKey(key);
        }
    }

    HKEY key_ = nullptr;
    GetValueFn getValue_ = nullptr;
    SetValueFn setValue_ = nullptr;
    SubKeysFn subKeys_ = nullptr;
};

TEST_F(Registry, ReadsEachTypeAndSize) {
    struct Case {
        const char* name;
        DWORD type;
        Bytes data;
        const char* expected;
    };
    const Case cases[] = {
        {"zero", REG_DWORD, dwordBytes(0), "BOOL 0"},
        {"one", REG_DWORD, dwordBytes(1), "BOOL -1"},
        {"two", REG_DWORD, dwordBytes(2), "I4 2"},
        {"all ones", REG_DWORD, dwordBytes(0xFFFFFFFF), "I4 -1"},
        {"sign bit", REG_DWORD, dwordBytes(0x80000000), "I4 -2147483648"},
        {"8-byte seven", REG_DWORD, {7, 0, 0, 0, 1, 0, 0, 0}, "I4 7"},
        {"8-byte one", REG_DWORD, {1, 0, 0, 0, 9, 9, 9, 9}, "BOOL -1"},
        {"3-byte dword", REG_DWORD, {1, 0, 0}, "EMPTY"},
        {"0-byte dword", REG_DWORD, {}, "EMPTY"},
        {"mid NUL", REG_SZ, wideBytes(std::wstring(L"ab\0cd\0", 6)), "BSTR 'ab'"},
        {"0-byte sz", REG_SZ, {}, "BSTR null"},
        {"lone NUL", REG_SZ, wideBytes(std::wstring(1, L'\0')), "BSTR ''"},
        {"no NUL", REG_SZ, wideBytes(L"abc"), "BSTR 'abc'"},
        {"odd size", REG_SZ, {'a', 0, 'b', 0, 'c'}, "BSTR 'ab'"},
        {"1-byte sz", REG_SZ, {'a'}, "BSTR ''"},
        {"unexpanded", REG_EXPAND_SZ, wideBytes(std::wstring(L"%PATH%;%TEMP%\0", 14)),
         "BSTR '%PATH%;%TEMP%'"},
        {"multi", REG_MULTI_SZ, wideBytes(std::wstring(L"a\0b\0\0", 5)), "EMPTY"},
        {"binary", REG_BINARY, dwordBytes(1), "EMPTY"},
        {"qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, "EMPTY"},
        {"big endian", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}, "EMPTY"},
        {"none", REG_NONE, dwordBytes(1), "EMPTY"},
    };
    for (const Case& c : cases) {
        const std::wstring name(c.name, c.name + std::strlen(c.name));
        putRaw(name.c_str(), c.type, c.data);
        EXPECT_EQ(get("", c.name), c.expected) << c.name;
    }
    EXPECT_EQ(get("", "missing value"), "EMPTY");
    EXPECT_EQ(get("missing key", "zero"), "EMPTY");
    EXPECT_EQ(take(getValue_(nullptr, "", "zero")), "EMPTY");
}

TEST_F(Registry, WritesAndReadsBack) {
    struct Case {
        const char* name;
        Value value;
        int result;
        DWORD type;  // REG_NONE: nothing stored
        Bytes stored;
        const char* readBack;
    };
    const Case cases[] = {
        {"i4 0", {VT_I4, 0}, 1, REG_DWORD, dwordBytes(0), "BOOL 0"},
        {"i4 1", {VT_I4, 1}, 1, REG_DWORD, dwordBytes(1), "BOOL -1"},
        {"i4 2", {VT_I4, 2}, 1, REG_DWORD, dwordBytes(2), "I4 2"},
        {"i4 -1", {VT_I4, -1}, 1, REG_DWORD, dwordBytes(0xFFFFFFFF), "I4 -1"},
        {"i4 min", {VT_I4, INT_MIN}, 1, REG_DWORD, dwordBytes(0x80000000), "I4 -2147483648"},
        {"bool true", {VT_BOOL, VARIANT_TRUE}, 1, REG_DWORD, dwordBytes(1), "BOOL -1"},
        {"bool false", {VT_BOOL, VARIANT_FALSE}, 1, REG_DWORD, dwordBytes(0), "BOOL 0"},
        {"bool 1", {VT_BOOL, 1}, 1, REG_DWORD, dwordBytes(0), "BOOL 0"},
        {"bool 0x7fff", {VT_BOOL, 0x7FFF}, 1, REG_DWORD, dwordBytes(0), "BOOL 0"},
        {"text", {VT_BSTR, 0, L"abc", 3}, 1, REG_SZ, wideBytes(std::wstring(L"abc\0", 4)),
         "BSTR 'abc'"},
        {"embedded NUL", {VT_BSTR, 0, L"a\0c", 3}, 1, REG_SZ,
         wideBytes(std::wstring(L"a\0c\0", 4)), "BSTR 'a'"},
        {"empty text", {VT_BSTR, 0, L"", 0}, 1, REG_SZ, wideBytes(std::wstring(1, L'\0')),
         "BSTR ''"},
        {"null text", {VT_BSTR, 0, nullptr, 0}, 1, REG_SZ, wideBytes(std::wstring(1, L'\0')),
         "BSTR ''"},
        {"i2", {VT_I2, 5}, 0, REG_NONE, {}, "EMPTY"},
        {"empty", {VT_EMPTY, 0}, 0, REG_NONE, {}, "EMPTY"},
        {"null", {VT_NULL, 0}, 0, REG_NONE, {}, "EMPTY"},
        {"ui4", {VT_UI4, 5}, 0, REG_NONE, {}, "EMPTY"},
        {"int", {VT_INT, 5}, 0, REG_NONE, {}, "EMPTY"},
        {"r8", {VT_R8, 0}, 0, REG_NONE, {}, "EMPTY"},
        {"byref i4", {VT_BYREF | VT_I4, 0}, 0, REG_NONE, {}, "EMPTY"},
        {"byref bool", {VT_BYREF | VT_BOOL, 0}, 0, REG_NONE, {}, "EMPTY"},
        {"array", {VT_ARRAY | VT_VARIANT, 0}, 0, REG_NONE, {}, "EMPTY"},
    };
    for (const Case& c : cases) {
        const std::wstring name(c.name, c.name + std::strlen(c.name));
        EXPECT_EQ(set("written", c.name, c.value), c.result) << c.name;
        DWORD type = REG_NONE;
        Bytes data;
        const bool found = stored(L"written", name.c_str(), &type, &data);
        EXPECT_EQ(found, c.type != REG_NONE) << c.name;
        if (found) {
            EXPECT_EQ(type, c.type) << c.name;
            EXPECT_EQ(data, c.stored) << c.name;
        }
        EXPECT_EQ(get("written", c.name), c.readBack) << c.name;
    }
    // A refused type leaves what was there.
    ASSERT_EQ(set("written", "i4 2", {VT_I2, 9}), 0);
    EXPECT_EQ(get("written", "i4 2"), "I4 2");
    EXPECT_EQ(set("written", "i4 2", {VT_BSTR, 0, L"xyz", 3}), 1);
    EXPECT_EQ(get("written", "i4 2"), "BSTR 'xyz'");
}

TEST_F(Registry, RefusedTypeStillCreatesKeyPath) {
    EXPECT_EQ(set("a\\b\\c", "v", {VT_I2, 5}), 0);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(key_, L"a\\b\\c", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, L"v", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    LONG target = 1;
    VARIANT v = makeVariant({VT_I4, 1}, &target);
    EXPECT_EQ(setValue_(nullptr, "x", "v", v), 0);  // no root to create under
}

TEST_F(Registry, NullAndEmptyPathAndNameAddressRootDefaultValue) {
    const char* const forms[][2] = {{nullptr, nullptr}, {"", ""}, {nullptr, ""}, {"", nullptr}};
    LONG number = 100;
    for (const auto& writer : forms) {
        ++number;
        ASSERT_EQ(set(writer[0], writer[1], {VT_I4, number}), 1);
        DWORD type;
        Bytes data;
        ASSERT_TRUE(stored(nullptr, nullptr, &type, &data));
        EXPECT_EQ(data, dwordBytes(number));
        for (const auto& reader : forms)
            EXPECT_EQ(get(reader[0], reader[1]), "I4 " + std::to_string(number));
    }
    makeKeys(L"", {L"only"});
    EXPECT_EQ(list(nullptr), arrayOf({L"only"}));
    EXPECT_EQ(list(""), arrayOf({L"only"}));
}

TEST_F(Registry, UsesStatedAccessRights) {
    set("k", "v", {VT_I4, 7});
    get("k", "v");
    list("k");
    EXPECT_EQ(spy.access, (std::vector<REGSAM>{KEY_SET_VALUE, KEY_QUERY_VALUE, KEY_READ}));
}

TEST_F(Registry, ListsSubKeysInRegistryOrder) {
    makeKeys(L"", {L"empty"});
    makeKeys(L"list", {L"zeta", L"Alpha", L"mid", std::wstring(255, L'k'), L"beta"});
    makeKeys(L"list\\mid", {L"grandchild"});  // not a direct sub-key
    const std::vector<std::wstring> order = enumerated(L"list");
    ASSERT_EQ(order.size(), 5u);
    EXPECT_EQ(list("list"), arrayOf(order));
    EXPECT_EQ(list("empty"), "ARRAY@0{}");
    EXPECT_EQ(list("missing"), "EMPTY");
    EXPECT_EQ(take(subKeys_(nullptr, "")), "EMPTY");
}

// The calling interface a 32-bit caller sees: hidden result address first, the VARIANT's 16
// bytes in the argument list, and the callee removing all of it.
TEST_F(Registry, CallingInterface) {
    putRaw(L"p", REG_DWORD, dwordBytes(2));
    makeKeys(L"", {L"child"});
    VARIANT out;
    VariantInit(&out);
    ProbedCall call = callProbed(quorbeltExport("WINAPI_GetRegistryValue"),
                                 {arg(&out), arg(key_), arg(""), arg("p")});
    EXPECT_EQ(call.result, arg(&out));
    EXPECT_EQ(take(out), "I4 2");
    if (kIs32Bit) { EXPECT_EQ(call.bytesRemoved, 16); }

    VariantInit(&out);
    call = callProbed(quorbeltExport("WINAPI_GetRegistrySubKeysArray"),
                      {arg(&out), arg(key_), arg("")});
    EXPECT_EQ(call.result, arg(&out));
    EXPECT_EQ(take(out), arrayOf({L"child"}));
    if (kIs32Bit) { EXPECT_EQ(call.bytesRemoved, 12); }

    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = 77;
    std::vector<uintptr_t> args{arg(key_), arg(""), arg("q")};
    if (kIs32Bit) {
        uint32_t words[4];
        std::memcpy(words, &value, sizeof words);
        args.insert(args.end(), words, words + 4);
    } else {
        args.push_back(arg(&value));
    }
    call = callProbed(quorbeltExport("WINAPI_SetRegistryValue"), args);
    EXPECT_EQ(static_cast<int>(call.result), 1);
    EXPECT_EQ(value.vt, VT_I4);  // the caller's value is left alone
    EXPECT_EQ(value.lVal, 77);
    if (kIs32Bit) { EXPECT_EQ(call.bytesRemoved, 28); }
    EXPECT_EQ(get("", "q"), "I4 77");
}

TEST_F(Registry, ValueChangedBetweenQueriesReadsEmpty) {
    struct Case {
        Bytes before;
        Bytes after;
    };
    const Case cases[] = {
        {wideBytes(std::wstring(L"ab\0", 3)), wideBytes(std::wstring(L"much longer\0", 12))},
        {{}, wideBytes(std::wstring(L"grown\0", 6))},  // the second query has no buffer at all
    };
    for (const Case& c : cases) {
        putRaw(L"v", REG_SZ, c.before);
        spy.queries = 0;
        spy.beforeSecondQuery = [&] { putRaw(L"v", REG_SZ, c.after); };
        EXPECT_EQ(get("", "v"), "EMPTY");
        EXPECT_EQ(spy.queries, 2);
    }
    // A value that shrank is read by what the second query reports.
    putRaw(L"v", REG_SZ, wideBytes(std::wstring(L"long text\0", 10)));
    spy.queries = 0;
    spy.beforeSecondQuery = [&] { putRaw(L"v", REG_DWORD, dwordBytes(9)); };
    EXPECT_EQ(get("", "v"), "I4 9");
}

TEST_F(Registry, AutomationFailuresLeaveNothingHalfMade) {
    putRaw(L"text", REG_SZ, wideBytes(std::wstring(L"abc\0", 4)));
    makeKeys(L"list", {L"one", L"two", L"three"});
    const std::vector<std::wstring> order = enumerated(L"list");
    struct Case {
        const char* label;
        int Spy::*failAt;
        int call;
        std::function<std::string()> run;
        std::string expected;
        int destroys;
    };
    auto readText = [&] { return get("", "text"); };
    auto listKeys = [&] { return list("list"); };
    const Case cases[] = {
        {"string of a read", &Spy::failAlloc, 1, readText, "EMPTY", 0},
        {"enumeration mid-list", &Spy::failEnum, 2, listKeys, arrayOf({order[0]}), 0},
        {"enumeration at once", &Spy::failEnum, 1, listKeys, "ARRAY@0{}", 0},
        {"array", &Spy::failCreate, 1, listKeys, "EMPTY", 0},
        {"second name", &Spy::failAlloc, 2, listKeys, "EMPTY", 1},
        {"second element", &Spy::failPut, 2, listKeys, "EMPTY", 1},
        {"first element", &Spy::failPut, 1, listKeys, "EMPTY", 1},
    };
    for (const Case& c : cases) {
        spy = Spy{};
        spy.*c.failAt = c.call;
        EXPECT_EQ(c.run(), c.expected) << c.label;
        EXPECT_EQ(spy.destroys, c.destroys) << c.label;
        EXPECT_TRUE(spy.open.empty()) << c.label;
    }
}

// Fails each allocation of a call in turn: every one gives the failure result, and once the
// call runs past the last one it gives the full result.
TEST_F(Registry, OutOfMemoryAtEveryAllocation) {
    const char* const longName = "a value name that does not fit inline";
    const char* const longPath = "a path that does not fit inline";
    const wchar_t* const newPath = L"another path that does not fit inline";
    putRaw(L"a value name that does not fit inline", REG_SZ,
           wideBytes(std::wstring(L"a text too long to fit inline\0", 30)));
    makeKeys(L"a path that does not fit inline",
             {L"first sub-key, long", L"second sub-key, long", L"third sub-key, long"});
    struct Case {
        const char* label;
        std::function<std::string()> run;
        std::function<std::string()> after;  // looks at the registry once allocations succeed
        std::string failed;
        std::string whole;
    };
    const Case cases[] = {
        {"read", [&] { return get("", longName); }, nullptr, "EMPTY",
         "BSTR 'a text too long to fit inline'"},
        {"list", [&] { return list(longPath); }, nullptr, "EMPTY",
         arrayOf(enumerated(L"a path that does not fit inline"))},
        {"write",
         [&] {
             RegDeleteTreeW(key_, newPath);
             return std::to_string(set("another path that does not fit inline", longName,
                                       {VT_I4, 42}));
         },
         [&] { return get("another path that does not fit inline", longName); }, "0 EMPTY",
         "1 I4 42"},
    };
    for (const Case& c : cases) {
        int failAt = 1;
        for (;; ++failAt) {
            spy.mallocs = 0;
            spy.failMalloc = failAt;
            std::string result = c.run();
            const bool reached = spy.mallocs >= failAt;
            spy.failMalloc = 0;
            if (c.after) result += " " + c.after();
            ASSERT_TRUE(spy.open.empty()) << c.label << ", allocation " << failAt;
            if (!reached) {
                EXPECT_EQ(result, c.whole) << c.label;
                break;
            }
            EXPECT_EQ(result, c.failed) << c.label << ", allocation " << failAt;
        }
        EXPECT_GT(failAt, 2) << c.label << " allocated less than expected";
    }
}

// Random values written and random data read: nothing crashes, keys balance, and every result
// is the one the rules give.
TEST_F(Registry, RandomizedRoundTrips) {
    std::mt19937 random(20240611);
    auto pick = [&](int n) { return static_cast<int>(random() % n); };
    const wchar_t* const names[] = {L"r0", L"r1", L"r2"};
    std::map<int, std::string> expected = {{0, "EMPTY"}, {1, "EMPTY"}, {2, "EMPTY"}};
    const VARTYPE types[] = {VT_EMPTY, VT_NULL, VT_I2,  VT_I4,  VT_R4,   VT_R8,
                             VT_BOOL,  VT_BSTR, VT_UI4, VT_INT, VT_I8,   VT_ERROR,
                             VT_DATE,  VT_BYREF | VT_I4, VT_BYREF | VT_BSTR,
                             VT_ARRAY | VT_VARIANT, VT_BSTR | VT_BYREF, VT_I4 | VT_ARRAY};
    for (int round = 0; round < 3000; ++round) {
        const int slot = pick(3);
        char name[4] = {'r', char('0' + slot), 0};
        if (pick(2)) {
            Value value{types[pick(sizeof types / sizeof types[0])], LONG(random()), nullptr, 0};
            if (pick(4) == 0) value.number = pick(3) - 1;
            if (value.vt == VT_BOOL && pick(2)) value.number = VARIANT_TRUE;
            std::wstring text(pick(4) ? pick(12) : pick(400), L'\0');
            for (wchar_t& c : text)
                c = pick(8) ? wchar_t(0x20 + pick(0x60)) : wchar_t(pick(0xD7FF));  // NULs too
            if (pick(10)) value.text = text.c_str(), value.length = text.size();
            const bool accepted = value.vt == VT_I4 || value.vt == VT_BOOL || value.vt == VT_BSTR;
            ASSERT_EQ(set("", name, value), accepted ? 1 : 0) << "round " << round;
            if (value.vt == VT_I4) {
                expected[slot] = expectedRead(REG_DWORD, dwordBytes(DWORD(value.number)));
            } else if (value.vt == VT_BOOL) {
                expected[slot] = SHORT(value.number) == VARIANT_TRUE ? "BOOL -1" : "BOOL 0";
            } else if (value.vt == VT_BSTR) {
                const std::wstring written = value.text ? text : L"";
                expected[slot] = quoted(written.substr(0, written.find(L'\0')));
            }
        } else {
            const DWORD type = pick(12);
            Bytes data(pick(6) ? pick(12) : pick(600));
            for (BYTE& b : data) b = pick(3) ? BYTE(random()) : 0;
            putRaw(names[slot], type, data);
            expected[slot] = expectedRead(type, data);
        }
        ASSERT_EQ(get("", name), expected[slot]) << "round " << round;
        ASSERT_TRUE(spy.open.empty()) << "round " << round;
        ASSERT_EQ(spy.foreignCloses, 0) << "round " << round;
    }
}

}  // namespace
