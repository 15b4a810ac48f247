// What the library must export, written out independently of the build's own tables so that a
// slip in those shows up here.
#pragma once
#include <string>
#include <vector>

struct ExpectedFixedExport {
    std::string name;   // QUORBELT_REKSAL_NL
    int operands;       // worksheet operands; the request count is one more
    std::string macro;  // vbaQUORBELT_REKSAL
};
std::vector<ExpectedFixedExport> expectedFixedExports();

constexpr int kFirstSlot = 0;
constexpr int kLastSlot = 2048;

struct ExpectedService {
    const char* name;
    int bytes32;  // argument bytes the 32-bit export removes
};
extern const std::vector<ExpectedService> expectedServices;

// Every exported name but the entry-point setter.
std::vector<std::string> expectedExportNames();
extern const char* const kSetterExport;  // as the build exports it
