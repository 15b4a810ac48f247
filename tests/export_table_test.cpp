// The export directory of the loaded library against the names and ordinals callers expect.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "expected_exports.h"
#include "quorbelt_module.h"

namespace {

struct Export {
    DWORD ordinal;
    DWORD rva;
};

std::map<std::string, Export> exportDirectory(HMODULE module) {
    auto* base = reinterpret_cast<const BYTE*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto* dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    auto* names = reinterpret_cast<const DWORD*>(base + dir->AddressOfNames);
    auto* indexes = reinterpret_cast<const WORD*>(base + dir->AddressOfNameOrdinals);
    auto* functions = reinterpret_cast<const DWORD*>(base + dir->AddressOfFunctions);
    std::map<std::string, Export> result;
    for (DWORD i = 0; i < dir->NumberOfNames; ++i) {
        const char* name = reinterpret_cast<const char*>(base + names[i]);
        result[name] = Export{dir->Base + indexes[i], functions[indexes[i]]};
    }
    return result;
}

// Byte order, except that a name that ends where the other continues with a digit sorts after.
bool ordinalOrder(const std::string& a, const std::string& b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i)
        if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    if (a.size() == b.size()) return false;
    const bool aIsPrefix = a.size() < b.size();
    const char next = aIsPrefix ? b[common] : a[common];
    const bool prefixFirst = !(next >= '0' && next <= '9');
    return aIsPrefix == prefixFirst;
}

}  // namespace

TEST(ExportTable, ExactlyTheExpectedNamesWithTheirOrdinals) {
    const std::map<std::string, Export> actual = exportDirectory(quorbeltModule());
    std::vector<std::string> expected = expectedExportNames();
    ASSERT_EQ(expected.size(), 151u + 1 + 2049 + 38);
    std::sort(expected.begin(), expected.end(), ordinalOrder);

    for (const auto& [name, e] : actual)
        EXPECT_TRUE(name == kSetterExport || std::binary_search(expected.begin(), expected.end(),
                                                                name, ordinalOrder))
            << "unexpected export " << name;
    std::set<DWORD> entryPoints;
    for (size_t i = 0; i < expected.size(); ++i) {
        auto found = actual.find(expected[i]);
        if (found == actual.end()) {
            ADD_FAILURE() << "missing export " << expected[i];
            continue;
        }
        EXPECT_EQ(found->second.ordinal, i + 1) << expected[i];
        EXPECT_TRUE(entryPoints.insert(found->second.rva).second)
            << expected[i] << " shares its entry point";
    }
    auto setter = actual.find(kSetterExport);
    ASSERT_NE(setter, actual.end()) << kSetterExport;
    EXPECT_EQ(setter->second.ordinal, 2240u);
    EXPECT_EQ(actual.size(), expected.size() + 1);
}

TEST(ExportTable, OrdinalsCallersHaveSeen) {
    const std::map<std::string, Export> actual = exportDirectory(quorbeltModule());
    const std::pair<const char*, DWORD> known[] = {
        {"QUORBELT_D0", 19},    {"QUORBELT_D1000", 20}, {"QUORBELT_D1009", 29},
        {"QUORBELT_D100", 30},  {"QUORBELT_D1010", 31}, {"QUORBELT_D1024", 46},
        {"QUORBELT_D2047", 1182}, {"QUORBELT_D2048", 1183}, {"QUORBELT_D9", 2067},
    };
    for (const auto& [name, ordinal] : known) {
        auto found = actual.find(name);
        ASSERT_NE(found, actual.end()) << name;
        EXPECT_EQ(found->second.ordinal, ordinal) << name;
    }
    if (kSetterExport[0] == '_') {
        EXPECT_EQ(actual.count("SetExcel12EntryPt"), 0u) << "the 32-bit setter is decorated only";
    }
}
