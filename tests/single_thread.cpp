#include "single_thread.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <vector>

namespace {

std::vector<std::string> openCases;  // innermost last

struct CasePrinter : ::testing::EmptyTestEventListener {
    void OnTestPartResult(const ::testing::TestPartResult& result) override {
        if (!result.failed()) return;
        for (auto c = openCases.rbegin(); c != openCases.rend(); ++c)
            std::printf("%s\n", c->c_str());
        std::fflush(stdout);
    }
};

int threadsOfThisProcess() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread))
        count += thread.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

// A failure report has started the helper thread already, so only a passing program is checked.
struct SingleThreaded : ::testing::Environment {
    void TearDown() override {
        if (::testing::UnitTest::GetInstance()->failed_test_count() > 0) return;
        EXPECT_EQ(threadsOfThisProcess(), 1)
            << "the test program started a thread: use CASE_TRACE and SKIP_CASE (single_thread.h)";
    }
};

[[maybe_unused]] const bool registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new CasePrinter);
    ::testing::AddGlobalTestEnvironment(new SingleThreaded);
    return true;
}();

}  // namespace

CaseTrace::CaseTrace(const char* file, int line, const ::testing::Message& what) {
    openCases.push_back(std::string(file) + ":" + std::to_string(line) + ": " + what.GetString());
}

CaseTrace::~CaseTrace() { openCases.pop_back(); }

void printSkippedCase(const char* file, int line, const std::string& why) {
    std::printf("%s:%d: Skipped\n%s\n", file, line, why.c_str());
    std::fflush(stdout);
}
