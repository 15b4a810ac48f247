// The one-call forwarders, called through the library's export table with the argument widths
// that the macro project uses. In 32-bit every call also checks the argument bytes removed.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "expected_exports.h"
#include "quorbelt_module.h"
#include "single_thread.h"
#include "stack_probe.h"

namespace {

int expectedBytes(const std::string& exportName) {
    for (const ExpectedService& s : expectedServices)
        if (exportName == s.name) return s.bytes32;
    ADD_FAILURE() << exportName << " is not an expected service";
    return -1;
}

// WINAPI_<name>(arguments...) as the macro project calls it.
uintptr_t call(const std::string& name, const std::vector<uintptr_t>& arguments) {
    const std::string exportName = "WINAPI_" + name;
    const void* function = quorbeltExport(exportName.c_str());
    if (!function) return 0;
    const ProbedCall probed = callProbed(function, arguments);
    if (kIs32Bit) {
        EXPECT_EQ(probed.bytesRemoved, expectedBytes(exportName)) << exportName;
    }
    return probed.result;
}

// Whether this program runs through qemu: a 32-bit one does where a binfmt_misc handler takes
// 32-bit programs, which the kernel consults before its own loader. Read through Wine's drive Z:,
// the Unix root.
bool underQemu() {
    if (!kIs32Bit) return false;
    std::ifstream handler("Z:\\proc\\sys\\fs\\binfmt_misc\\qemu-i386");
    std::string state;
    return std::getline(handler, state) && state == "enabled";
}

// A 32-bit value as a pointer-wide argument whose upper half is garbage in 64-bit, as a caller
// may leave it: the export must look at the low 32 bits only.
uintptr_t dirty32(uint32_t value) { return static_cast<uintptr_t>(0x5A5A5A5A00000000ull | value); }

// GWL_USERDATA: the headers define it for 32-bit builds only, since there it is the same slot as
// GWLP_USERDATA.
constexpr int kUserData = -21;

const char kClass[] = "QuorbeltForwarderTestClass";
const char kTitle[] = "Quorbelt forwarder test window";

struct ForwarderWindow : ::testing::Test {
    static HWND window;
    static void SetUpTestSuite() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kClass;
        RegisterClassA(&wc);
        HMENU menu = CreateMenu();
        AppendMenuA(menu, MF_STRING, 1, "&File");
        window = CreateWindowExA(0, kClass, kTitle, WS_OVERLAPPEDWINDOW, 10, 20, 300, 200, nullptr,
                                 menu, wc.hInstance, nullptr);
        if (window) ShowWindow(window, SW_SHOW);
    }
    static void TearDownTestSuite() {
        if (window) DestroyWindow(window);
        window = nullptr;
        UnregisterClassA(kClass, GetModuleHandleA(nullptr));
    }
    void SetUp() override { ASSERT_NE(window, nullptr) << "windows need an X display"; }
};
HWND ForwarderWindow::window = nullptr;

TEST_F(ForwarderWindow, QueriesSeeTheTestWindow) {
    EXPECT_EQ(call("FindWindowA", {arg(kClass), arg(kTitle)}), arg(window));
    EXPECT_EQ(call("FindWindowA", {arg(kClass), arg(nullptr)}), arg(window));

    char name[64] = {};
    EXPECT_EQ(call("GetClassNameA", {arg(window), arg(name), dirty32(sizeof name)}),
              static_cast<uintptr_t>(std::strlen(kClass)));
    EXPECT_STREQ(name, kClass);
    char tiny[5] = {};  // truncated to the buffer, terminated
    EXPECT_EQ(static_cast<int>(call("GetClassNameA", {arg(window), arg(tiny), dirty32(5)})), 4);
    EXPECT_STREQ(tiny, "Quor");

    RECT viaExport{}, direct{};
    EXPECT_TRUE(call("GetWindowRect", {arg(window), arg(&viaExport)}));
    ASSERT_TRUE(GetWindowRect(window, &direct));
    EXPECT_EQ(std::memcmp(&viaExport, &direct, sizeof direct), 0);
    EXPECT_EQ(viaExport.right - viaExport.left, 300);

    EXPECT_EQ(static_cast<DWORD>(call("GetWindowThreadProcessId", {arg(window), arg(nullptr)})),
              GetCurrentThreadId());
    DWORD processId = 0;
    EXPECT_EQ(static_cast<DWORD>(call("GetWindowThreadProcessId", {arg(window), arg(&processId)})),
              GetCurrentThreadId());
    EXPECT_EQ(processId, GetCurrentProcessId());

    EXPECT_TRUE(call("DrawMenuBar", {arg(window)}));
    EXPECT_TRUE(call("SetForegroundWindow", {arg(window)}));
    EXPECT_EQ(GetForegroundWindow(), window);
}

TEST_F(ForwarderWindow, WindowLongIs32BitsWide) {
    const LONG value = static_cast<LONG>(0x89ABCDEF);
    SetWindowLongA(window, kUserData, 7);
    EXPECT_EQ(
        static_cast<LONG>(call("SetWindowLongA", {arg(window), dirty32(kUserData & 0xFFFFFFFFu),
                                                  dirty32(0x89ABCDEF)})),
        7);
    EXPECT_EQ(GetWindowLongA(window, kUserData), value);
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_USERDATA), static_cast<LONG_PTR>(value));
    EXPECT_EQ(
        static_cast<LONG>(call("GetWindowLongA", {arg(window), dirty32(kUserData & 0xFFFFFFFFu)})),
        value);
    EXPECT_EQ(static_cast<LONG>(call("GetWindowLongA", {arg(window), arg(GWL_STYLE)})),
              GetWindowLongA(window, GWL_STYLE));
}

struct Sighting {
    HWND wanted;
    int seen;
    int windows;
};

BOOL CALLBACK countWindow(HWND window, LPARAM value) {
    Sighting* sighting = reinterpret_cast<Sighting*>(value);
    ++sighting->windows;
    if (window == sighting->wanted) ++sighting->seen;
    return TRUE;
}

BOOL CALLBACK stopAtFirst(HWND, LPARAM value) {
    ++reinterpret_cast<Sighting*>(value)->windows;
    return FALSE;
}

TEST_F(ForwarderWindow, EnumWindowsCallsBackBeforeReturning) {
    Sighting sighting{window, 0, 0};
    EXPECT_TRUE(call("EnumWindows", {arg(&countWindow), arg(&sighting)}));
    EXPECT_EQ(sighting.seen, 1);
    Sighting stopped{window, 0, 0};
    EXPECT_FALSE(call("EnumWindows", {arg(&stopAtFirst), arg(&stopped)}));
    EXPECT_EQ(stopped.windows, 1);
}

TEST_F(ForwarderWindow, DeviceContext) {
    const HDC dc = reinterpret_cast<HDC>(call("GetDC", {arg(window)}));
    ASSERT_NE(dc, nullptr);
    for (int index : {LOGPIXELSX, LOGPIXELSY, BITSPIXEL, HORZRES}) {
        const int caps = static_cast<int>(call("GetDeviceCaps", {arg(dc), dirty32(index)}));
        EXPECT_EQ(caps, GetDeviceCaps(dc, index)) << index;
        EXPECT_GT(caps, 0) << index;
    }
    EXPECT_EQ(static_cast<int>(call("ReleaseDC", {arg(window), arg(dc)})), 1);
    EXPECT_EQ(call("GetDesktopWindow", {}), arg(GetDesktopWindow()));
}

TEST(Forwarders, RegistryRoundTrip) {
    const std::string path =
        std::string("Software\\Quorbelt forwarder test ") + (kIs32Bit ? "d32" : "d64");
    RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    struct Value {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    };
    const std::vector<Value> values = {
        {"Text", REG_SZ, {'h', 'e', 'l', 'l', 'o', 0}},
        {"Number", REG_DWORD, {0xEF, 0xCD, 0xAB, 0x89}},
        {"Bytes", REG_BINARY, {0x00, 0x01, 0xFE, 0xFF, 0x80}},
    };

    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(call("RegCreateKeyExA",
                   {arg(HKEY_CURRENT_USER), arg(path.c_str()), 0, arg(nullptr), 0,
                    dirty32(KEY_ALL_ACCESS), arg(nullptr), arg(&key), arg(&disposition)}),
              0u);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    for (const Value& v : values)
        EXPECT_EQ(
            call("RegSetValueExA", {arg(key), arg(v.name), 0, dirty32(v.type), arg(v.data.data()),
                                    dirty32(static_cast<DWORD>(v.data.size()))}),
            0u)
            << v.name;
    EXPECT_EQ(call("RegCloseKey", {arg(key)}), 0u);

    ASSERT_EQ(
        call("RegCreateKeyExA", {arg(HKEY_CURRENT_USER), arg(path.c_str()), 0, arg(nullptr), 0,
                                 arg(KEY_READ), arg(nullptr), arg(&key), arg(&disposition)}),
        0u);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(call("RegCloseKey", {arg(key)}), 0u);

    key = nullptr;
    ASSERT_EQ(call("RegOpenKeyExA",
                   {arg(HKEY_CURRENT_USER), arg(path.c_str()), 0, dirty32(KEY_READ), arg(&key)}),
              0u);
    for (const Value& v : values) {
        BYTE data[32] = {};
        DWORD type = 0, size = sizeof data;
        EXPECT_EQ(call("RegQueryValueExA",
                       {arg(key), arg(v.name), arg(nullptr), arg(&type), arg(data), arg(&size)}),
                  0u)
            << v.name;
        EXPECT_EQ(type, v.type) << v.name;
        EXPECT_EQ(std::vector<BYTE>(data, data + size), v.data) << v.name;
        size = 1;  // too small: the system says how much it needs
        EXPECT_EQ(call("RegQueryValueExA",
                       {arg(key), arg(v.name), arg(nullptr), arg(nullptr), arg(data), arg(&size)}),
                  static_cast<uintptr_t>(ERROR_MORE_DATA))
            << v.name;
        EXPECT_EQ(size, v.data.size()) << v.name;
    }
    EXPECT_EQ(call("RegQueryValueExA", {arg(key), arg("Missing"), arg(nullptr), arg(nullptr),
                                        arg(nullptr), arg(nullptr)}),
              static_cast<uintptr_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(call("RegCloseKey", {arg(key)}), 0u);

    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(call("RegOpenKeyExA",
                   {arg(HKEY_CURRENT_USER), arg(path.c_str()), 0, arg(KEY_READ), arg(&key)}),
              static_cast<uintptr_t>(ERROR_FILE_NOT_FOUND));
}

TEST(Forwarders, TimeZoneConversionsBothWays) {
    TIME_ZONE_INFORMATION current{}, direct{};
    const DWORD id = static_cast<DWORD>(call("GetTimeZoneInformation", {arg(&current)}));
    EXPECT_EQ(id, GetTimeZoneInformation(&direct));
    EXPECT_NE(id, TIME_ZONE_ID_INVALID);
    EXPECT_EQ(std::memcmp(&current, &direct, sizeof direct), 0);

    TIME_ZONE_INFORMATION plusOne{};
    plusOne.Bias = -60;
    // UTC-5, summer time from the 2nd Sunday of March to the 1st Sunday of November.
    TIME_ZONE_INFORMATION eastern{};
    eastern.Bias = 300;
    eastern.DaylightBias = -60;
    eastern.StandardDate = SYSTEMTIME{0, 11, 0, 1, 2, 0, 0, 0};
    eastern.DaylightDate = SYSTEMTIME{0, 3, 0, 2, 2, 0, 0, 0};
    struct Case {
        const TIME_ZONE_INFORMATION* zone;
        SYSTEMTIME universal, local;  // year, month, day of week, day, hour, minute
    };
    const Case cases[] = {
        {&plusOne, {2024, 7, 1, 1, 12, 0, 0, 0}, {2024, 7, 1, 1, 13, 0, 0, 0}},
        {&plusOne, {2024, 12, 2, 31, 23, 30, 0, 0}, {2025, 1, 3, 1, 0, 30, 0, 0}},
        {&eastern, {2024, 7, 1, 1, 12, 0, 0, 0}, {2024, 7, 1, 1, 8, 0, 0, 0}},
        {&eastern, {2024, 1, 1, 15, 12, 0, 0, 0}, {2024, 1, 1, 15, 7, 0, 0, 0}},
    };
    auto same = [](const SYSTEMTIME& a, const SYSTEMTIME& b) {
        return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay &&
               a.wHour == b.wHour && a.wMinute == b.wMinute;
    };
    for (const Case& c : cases) {
        SYSTEMTIME out{};
        EXPECT_TRUE(
            call("SystemTimeToTzSpecificLocalTime", {arg(c.zone), arg(&c.universal), arg(&out)}));
        EXPECT_TRUE(same(out, c.local))
            << c.universal.wMonth << "/" << c.universal.wDay << " local hour " << out.wHour;
        out = SYSTEMTIME{};
        EXPECT_TRUE(
            call("TzSpecificLocalTimeToSystemTime", {arg(c.zone), arg(&c.local), arg(&out)}));
        EXPECT_TRUE(same(out, c.universal))
            << c.local.wMonth << "/" << c.local.wDay << " universal hour " << out.wHour;
    }
}

TEST(Forwarders, ProcessUserAndToken) {
    EXPECT_EQ(call("GetCurrentProcess", {}), arg(GetCurrentProcess()));
    EXPECT_EQ(static_cast<DWORD>(call("GetCurrentProcessId", {})), GetCurrentProcessId());
    EXPECT_EQ(static_cast<LCID>(call("GetUserDefaultLCID", {})), GetUserDefaultLCID());

    char direct[256] = {}, name[256] = {};
    DWORD directSize = sizeof direct, size = sizeof name;
    ASSERT_TRUE(GetUserNameA(direct, &directSize));
    EXPECT_TRUE(call("GetUserNameA", {arg(name), arg(&size)}));
    EXPECT_STREQ(name, direct);
    EXPECT_EQ(size, std::strlen(direct) + 1);
    size = 1;
    SetLastError(0);
    EXPECT_FALSE(call("GetUserNameA", {arg(name), arg(&size)}));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, std::strlen(direct) + 1);

    HANDLE token = nullptr;
    ASSERT_TRUE(
        call("OpenProcessToken", {arg(GetCurrentProcess()), dirty32(TOKEN_QUERY), arg(&token)}));
    ASSERT_NE(token, nullptr);
    TOKEN_TYPE type{};
    DWORD length = 0;
    EXPECT_TRUE(GetTokenInformation(token, TokenType, &type, sizeof type, &length));
    EXPECT_EQ(type, TokenPrimary);
    EXPECT_TRUE(call("CloseHandle", {arg(token)}));
}

const HANDLE kBadHandle = reinterpret_cast<HANDLE>(0x1234);
const HWND kBadWindow = reinterpret_cast<HWND>(0xBAD0);
const char kMissingDll[] = "quorbelt-no-such-library.dll";
RECT scratchRect;
char scratchText[16];

// A failing forwarder leaves the last-error value that its system function set.
TEST(Forwarders, LastErrorIsTheSystemsOwn) {
    const struct {
        const char* name;
        std::vector<uintptr_t> arguments;
        DWORD (*direct)();  // the same call made directly
    } cases[] = {
        {"CloseHandle", {arg(kBadHandle)}, [] { return DWORD(CloseHandle(kBadHandle)); }},
        {"GetWindowRect",
         {arg(kBadWindow), arg(&scratchRect)},
         [] { return DWORD(GetWindowRect(kBadWindow, &scratchRect)); }},
        {"GetClassNameA",
         {arg(kBadWindow), arg(scratchText), arg(sizeof scratchText)},
         [] { return DWORD(GetClassNameA(kBadWindow, scratchText, sizeof scratchText)); }},
        {"LoadLibraryA", {arg(kMissingDll)}, [] { return DWORD(LoadLibraryA(kMissingDll) != 0); }},
    };
    for (const auto& c : cases) {
        SetLastError(0xDEAD);
        EXPECT_EQ(c.direct(), 0u) << c.name;
        const DWORD systemError = GetLastError();
        EXPECT_NE(systemError, 0xDEADu) << c.name;
        SetLastError(0xDEAD);
        EXPECT_EQ(call(c.name, c.arguments), 0u) << c.name;
        EXPECT_EQ(GetLastError(), systemError) << c.name;
    }
}

TEST(Forwarders, LoadLibraryAndShellExecute) {
    const HMODULE loaded = reinterpret_cast<HMODULE>(call("LoadLibraryA", {arg("version.dll")}));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded, GetModuleHandleA("version.dll"));
    EXPECT_NE(GetProcAddress(loaded, "GetFileVersionInfoSizeA"), nullptr);
    FreeLibrary(loaded);

    const char missing[] = "C:\\quorbelt-no-such-folder\\no-such-file.txt";
    const uintptr_t result =
        call("ShellExecuteA", {arg(nullptr), arg("open"), arg(missing), arg(nullptr), arg(nullptr),
                               dirty32(SW_SHOWNORMAL)});
    EXPECT_LE(result, 32u);
    EXPECT_EQ(result,
              arg(ShellExecuteA(nullptr, "open", missing, nullptr, nullptr, SW_SHOWNORMAL)));
}

TEST(Forwarders, WideStrings) {
    const wchar_t source[] = L"Quorbelt \u00E9\u0416\u20AC";
    wchar_t destination[32];
    std::wmemset(destination, L'#', 32);
    EXPECT_EQ(call("lstrcpyW", {arg(destination), arg(source)}), arg(destination));
    EXPECT_EQ(std::wstring(destination), source);
    EXPECT_EQ(destination[12], L'\0');
    EXPECT_EQ(destination[13], L'#');
    const struct {
        const wchar_t* text;
        int length;
    } lengths[] = {{L"", 0}, {L"abc", 3}, {source, 12}};
    for (const auto& c : lengths)
        EXPECT_EQ(static_cast<int>(call("lstrlenW", {arg(c.text)})), c.length);
    // The system answers 0 by catching the access violation that a null string raises. Under
    // qemu the fault reaches 32-bit Wine without its trap number and is raised as an illegal
    // instruction instead, which nothing catches.
    if (underQemu())
        SKIP_CASE("lstrlenW(NULL): 32-bit Wine under qemu cannot catch the access violation");
    EXPECT_EQ(static_cast<int>(call("lstrlenW", {arg(nullptr)})), 0);
}

TEST(Forwarders, TickCountAndSleep) {
    const DWORD before = static_cast<DWORD>(call("GetTickCount", {}));
    EXPECT_LE(GetTickCount() - before, 1000u);
    call("Sleep", {dirty32(100)});
    // The tick count moves in steps of about 16 ms.
    EXPECT_GE(static_cast<DWORD>(call("GetTickCount", {})) - before, 80u);
}

TEST(Forwarders, RtlMoveMemoryHandlesOverlap) {
    const struct {
        int destination, source;
        size_t length;
        const char* expected;
    } cases[] = {
        {2, 0, 6, "0101234589"},  // destination inside the source
        {0, 2, 6, "2345676789"},  // source inside the destination
        {3, 7, 0, "0123456789"},  // nothing moves
        {0, 0, 10, "0123456789"},
        {0, 9, 1, "9123456789"},
    };
    for (const auto& c : cases) {
        char buffer[] = "0123456789";
        call("RtlMoveMemory", {arg(buffer + c.destination), arg(buffer + c.source), arg(c.length)});
        EXPECT_STREQ(buffer, c.expected) << c.destination << "<-" << c.source << " x" << c.length;
    }
}

BOOL CALLBACK stopAtOnce(HWND, LPARAM) { return FALSE; }

// Every forwarder once with arguments that change nothing; in 32-bit each must remove exactly
// its argument bytes, and the argument count of each row must match those bytes.
TEST(Forwarders, EachRemovesItsArgumentBytes) {
    TIME_ZONE_INFORMATION zone{};
    SYSTEMTIME time{2024, 1, 1, 1, 0, 0, 0, 0}, out{};
    char text[64] = {};
    wchar_t wide[8] = {};
    DWORD size = sizeof text;
    RECT rect{};
    HANDLE token = nullptr;
    HKEY key = nullptr;
    const std::vector<std::pair<const char*, std::vector<uintptr_t>>> rows = {
        {"CloseHandle", {0}},
        {"GetCurrentProcess", {}},
        {"GetCurrentProcessId", {}},
        {"GetTickCount", {}},
        {"GetTimeZoneInformation", {arg(&zone)}},
        {"GetUserDefaultLCID", {}},
        {"LoadLibraryA", {arg("kernel32.dll")}},
        {"RtlMoveMemory", {arg(text), arg(text + 8), 4}},
        {"Sleep", {0}},
        {"SystemTimeToTzSpecificLocalTime", {arg(&zone), arg(&time), arg(&out)}},
        {"TzSpecificLocalTimeToSystemTime", {arg(&zone), arg(&time), arg(&out)}},
        {"lstrcpyW", {arg(wide), arg(L"x")}},
        {"lstrlenW", {arg(L"abc")}},
        {"DrawMenuBar", {0}},
        {"EnumWindows", {arg(&stopAtOnce), 0}},
        {"FindWindowA", {arg("QuorbeltNoSuchClass"), 0}},
        {"GetClassNameA", {0, arg(text), arg(sizeof text)}},
        {"GetDC", {arg(0xBAD0)}},
        {"GetDesktopWindow", {}},
        {"GetWindowLongA", {0, arg(GWL_STYLE)}},
        {"GetWindowRect", {0, arg(&rect)}},
        {"GetWindowThreadProcessId", {0, 0}},
        {"ReleaseDC", {0, 0}},
        {"SetForegroundWindow", {0}},
        {"SetWindowLongA", {0, arg(kUserData), 0}},
        {"ShellExecuteA",
         {0, arg("open"), arg("C:\\quorbelt-no-such-file.txt"), 0, 0, arg(SW_HIDE)}},
        {"GetUserNameA", {arg(text), arg(&size)}},
        {"OpenProcessToken", {0, arg(TOKEN_QUERY), arg(&token)}},
        {"RegCloseKey", {0}},
        {"RegCreateKeyExA", {0, arg("x"), 0, 0, 0, arg(KEY_READ), 0, arg(&key), 0}},
        {"RegOpenKeyExA", {0, arg("x"), 0, arg(KEY_READ), arg(&key)}},
        {"RegQueryValueExA", {0, arg("x"), 0, 0, 0, 0}},
        {"RegSetValueExA", {0, arg("x"), 0, arg(REG_DWORD), arg(text), 4}},
        {"GetDeviceCaps", {0, arg(LOGPIXELSX)}},
    };
    EXPECT_EQ(rows.size(), 34u);
    for (const auto& row : rows) {
        const std::string exportName = std::string("WINAPI_") + row.first;
        EXPECT_EQ(static_cast<int>(row.second.size()) * 4, expectedBytes(exportName)) << exportName;
        call(row.first, row.second);
    }
    EXPECT_EQ(token, nullptr);
    EXPECT_EQ(key, nullptr);
}

}  // namespace
