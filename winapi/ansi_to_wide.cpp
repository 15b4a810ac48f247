#include "ansi_to_wide.h"

#include <windows.h>

std::wstring AnsiToWide(const char* text) {
    if (!text) return std::wstring();
    // The length counts the terminating zero; 0 means the conversion failed.
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    if (!wide.empty() && wide.back() == L'\0') wide.pop_back();
    return wide;
}
