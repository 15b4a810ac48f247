#pragma once
#include <string>

// Text in the system ANSI code page to UTF-16, without a terminating zero. A null address or
// text the system cannot convert gives an empty string. Throws std::bad_alloc when memory runs
// out: every export that uses it must catch that and report its own failure result.
std::wstring AnsiToWide(const char* text);
