// AnsiToWide, called directly. The code-page cases run once under the default system code page
// and once more (a separate test run) under another one, chosen through the Unix locale.
#include "winapi/ansi_to_wide.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "single_thread.h"

namespace {

TEST(AnsiToWide, PlainText) {
    const std::string longText(5000, 'q');
    const struct {
        const char* text;
        std::wstring expected;
    } cases[] = {
        {nullptr, L""},
        {"", L""},
        {"abc", L"abc"},
        {"a", L"a"},
        {"C:\\Temp\\icon 1.png", L"C:\\Temp\\icon 1.png"},
        {longText.c_str(), std::wstring(5000, L'q')},
    };
    for (const auto& c : cases) {
        const std::wstring wide = AnsiToWide(c.text);
        EXPECT_EQ(wide, c.expected) << (c.text ? c.text : "(null)");
        EXPECT_EQ(wide.size(), c.expected.size());  // no terminating zero kept
    }
}

// The same bytes mean different characters in different system code pages.
TEST(AnsiToWideCodePage, HighBytesFollowTheSystemCodePage) {
    const struct {
        UINT codePage;
        std::wstring expected;  // of the bytes C0 E9 80 41
    } pages[] = {
        {1252, L"\u00C0\u00E9\u20ACA"},
        {1251, L"\u0410\u0439\u0402A"},
        {1253, L"\u0390\u03B9\u20ACA"},
    };
    const UINT system = GetACP();
    // The run under a second locale names the code page that it must get.
    if (const char* wanted = std::getenv("QUORBELT_EXPECTED_ACP")) {
        ASSERT_EQ(system, static_cast<UINT>(std::atoi(wanted)))
            << "the test's locale was not applied";
    }
    for (const auto& page : pages) {
        if (page.codePage != system) continue;
        EXPECT_EQ(AnsiToWide("\xC0\xE9\x80"
                             "A"),
                  page.expected)
            << "code page " << system;
        return;
    }
    SKIP_CASE("no expectations for code page " << system);
}

}  // namespace
