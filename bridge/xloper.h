// Excel's value record and the few codes of the XLL interface that the bridge uses.
#pragma once
#include <windows.h>
#include <cstddef>

typedef wchar_t XCHAR;  // one UTF-16 unit; wchar_t is 16 bits on Windows

struct XLOPER12 {
    union {
        double num;
        XCHAR* str;     // counted string: length unit, then the characters
        BOOL xbool;
        int err;
        int w;
        unsigned char raw[24];  // the widest variants (references, flow) fix the size
    } val;
    DWORD xltype;
};
typedef XLOPER12* LPXLOPER12;

// Excel reads the type word at byte 24 in both widths: a slip here crashes the host.
static_assert(sizeof(XLOPER12) == 32, "XLOPER12 must be 32 bytes");
static_assert(offsetof(XLOPER12, xltype) == 24, "xltype must sit at byte 24");

constexpr DWORD xltypeStr = 0x0002;
constexpr DWORD xltypeErr = 0x0010;
constexpr DWORD xltypeInt = 0x0800;
constexpr DWORD xlbitXLFree = 0x1000;

constexpr int xlerrValue = 15;
constexpr int xlUDF = 255;

constexpr int xlretSuccess = 0;
constexpr int xlretInvCount = 4;
constexpr int xlretFailed = 32;
