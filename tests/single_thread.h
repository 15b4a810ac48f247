// The test programs stay single-threaded. Where qemu runs 32-bit Wine, the threads of a process
// share one segment descriptor table, so a second thread corrupts the process at random. GoogleTest
// starts a helper thread the first time a thread uses SCOPED_TRACE or reports a skip or failure;
// these stand-ins print what those print without it, and a program that ends with a second thread
// fails on every host.
#pragma once
#include <gtest/gtest.h>

#include <string>

// Names the case under way in the report of every failure inside its scope, as SCOPED_TRACE does.
struct CaseTrace {
    CaseTrace(const char* file, int line, const ::testing::Message& what);
    ~CaseTrace();
    CaseTrace(const CaseTrace&) = delete;
    CaseTrace& operator=(const CaseTrace&) = delete;
};

#define CASE_TRACE(what) \
    const CaseTrace caseTrace(__FILE__, __LINE__, ::testing::Message() << (what))

// Leaves the test, printing what GTEST_SKIP prints; build.sh lists these lines after the run.
#define SKIP_CASE(why) \
    return printSkippedCase(__FILE__, __LINE__, (::testing::Message() << why).GetString())

void printSkippedCase(const char* file, int line, const std::string& why);
