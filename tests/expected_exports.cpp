#include "expected_exports.h"

namespace {

struct Function {
    const char* word;
    int operands;
    bool localised;
};

const Function kFunctions[] = {
    {"BEDRIJF", 1, true},  {"DATUM", 5, true},   {"WEEKNR", 3, true},       {"REKOMS", 2, true},
    {"REKSAM", 2, true},   {"REKSAL", 6, true},  {"DI1OMS", 2, true},       {"DI2OMS", 2, true},
    {"KLTOMS", 2, true},   {"KLTWPL", 2, true},  {"KLTSAL", 5, true},       {"LEVOMS", 2, true},
    {"LEVWPL", 2, true},   {"LEVSAL", 5, true},  {"ANWSAL", 9, true},       {"DIMOMS", 3, true},
    {"SAMENVOEGEN", 4, true}, {"ANT", 20, true}, {"GEM", 20, true},         {"MAX", 20, true},
    {"MIN", 20, true},     {"OMS", 20, true},    {"SOM", 20, true},         {"URL", 19, true},
    {"TABOMS", 2, false},  {"FLDOMS", 3, false}, {"FLDTPE", 2, false},      {"FLDLEN", 2, false},
    {"FLDCLS", 2, false},  {"FLDOPT", 2, false}, {"FLDCAL", 3, false},
};

}  // namespace

std::vector<ExpectedFixedExport> expectedFixedExports() {
    std::vector<ExpectedFixedExport> exports;
    for (const Function& f : kFunctions) {
        const std::string name = std::string("QUORBELT_") + f.word;
        const std::string macro = "vba" + name;
        if (!f.localised) {
            exports.push_back({name, f.operands, macro});
            continue;
        }
        for (const char* language : {"_NL", "_EN", "_FR", "_DE", "_ES", "_PT"})
            exports.push_back({name + language, f.operands, macro});
    }
    return exports;
}

const std::vector<ExpectedService> expectedServices = {
    {"WINAPI_CloseHandle", 4},
    {"WINAPI_GetCurrentProcess", 0},
    {"WINAPI_GetCurrentProcessId", 0},
    {"WINAPI_GetTickCount", 0},
    {"WINAPI_GetTimeZoneInformation", 4},
    {"WINAPI_GetUserDefaultLCID", 0},
    {"WINAPI_LoadLibraryA", 4},
    {"WINAPI_RtlMoveMemory", 12},
    {"WINAPI_Sleep", 4},
    {"WINAPI_SystemTimeToTzSpecificLocalTime", 12},
    {"WINAPI_TzSpecificLocalTimeToSystemTime", 12},
    {"WINAPI_lstrcpyW", 8},
    {"WINAPI_lstrlenW", 4},
    {"WINAPI_DrawMenuBar", 4},
    {"WINAPI_EnumWindows", 8},
    {"WINAPI_FindWindowA", 8},
    {"WINAPI_GetClassNameA", 12},
    {"WINAPI_GetDC", 4},
    {"WINAPI_GetDesktopWindow", 0},
    {"WINAPI_GetWindowLongA", 8},
    {"WINAPI_GetWindowRect", 8},
    {"WINAPI_GetWindowThreadProcessId", 8},
    {"WINAPI_ReleaseDC", 8},
    {"WINAPI_SetForegroundWindow", 4},
    {"WINAPI_SetWindowLongA", 12},
    {"WINAPI_ShellExecuteA", 24},
    {"WINAPI_GetUserNameA", 8},
    {"WINAPI_OpenProcessToken", 12},
    {"WINAPI_RegCloseKey", 4},
    {"WINAPI_RegCreateKeyExA", 36},
    {"WINAPI_RegOpenKeyExA", 20},
    {"WINAPI_RegQueryValueExA", 24},
    {"WINAPI_RegSetValueExA", 24},
    {"WINAPI_GetDeviceCaps", 8},
    {"WINAPI_GetRegistryValue", 16},
    {"WINAPI_SetRegistryValue", 28},
    {"WINAPI_GetRegistrySubKeysArray", 12},
    {"WINAPI_LoadRibbonIcon", 4},
};

std::vector<std::string> expectedExportNames() {
    std::vector<std::string> names{"QUORBELT_UDF"};
    for (const ExpectedFixedExport& e : expectedFixedExports()) names.push_back(e.name);
    for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
        names.push_back("QUORBELT_D" + std::to_string(slot));
    for (const ExpectedService& s : expectedServices) names.push_back(s.name);
    return names;
}

const char* const kSetterExport =
    sizeof(void*) == 4 ? "_SetExcel12EntryPt@4" : "SetExcel12EntryPt";
