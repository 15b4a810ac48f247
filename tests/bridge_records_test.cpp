// The bridge's static records, linked into this program directly, before and after start-up.
#include <gtest/gtest.h>

#include <algorithm>

#include "bridge/records.h"
#include "bridge/slot_dispatcher.h"
#include "excel_host.h"
#include "stack_probe.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID);

namespace {

bool allZero(const void* data, size_t size) {
    auto* bytes = static_cast<const unsigned char*>(data);
    return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
}

struct Snapshot {
    XLOPER12 slot, dispatcherName, functionName, slotRecord;
    FixedResultRecords fixed;
};
Snapshot snapshot() { return {slotOperand, dispatcherNameOperand, functionNameOperand, slotResult, fixedResults}; }

}  // namespace

// One test: the order matters, start-up runs only once here.
TEST(BridgeRecords, StartUpPreparesTheOperandRecordsOnly) {
    static_assert(sizeof(FixedResultRecords) == 151 * 32, "one record per fixed-name export");
    Snapshot loaded = snapshot();
    EXPECT_TRUE(allZero(&loaded, sizeof loaded)) << "every record starts zero";

    for (DWORD reason : {0u, 2u, 3u, 77u}) {
        EXPECT_TRUE(DllMain(nullptr, reason, nullptr));
        Snapshot after = snapshot();
        EXPECT_TRUE(allZero(&after, sizeof after)) << "reason " << reason << " changed a record";
    }

    EXPECT_TRUE(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(typeWord(&slotOperand), 0x800u);
    EXPECT_EQ(slotOperand.val.w, -1);
    EXPECT_EQ(typeWord(&dispatcherNameOperand), 2u);
    EXPECT_EQ(dispatcherNameOperand.val.str, macroNameTable[30]);
    EXPECT_EQ(countedText(dispatcherNameOperand.val.str), "vbaQUORBELT_DBF");
    EXPECT_EQ(typeWord(&functionNameOperand), 2u);
    EXPECT_EQ(functionNameOperand.val.str, nullptr);
    EXPECT_TRUE(allZero(&slotResult, sizeof slotResult));
    EXPECT_TRUE(allZero(&fixedResults, sizeof fixedResults));

    Snapshot attached = snapshot();
    for (DWORD reason : {0u, 2u, 3u, 77u}) {
        EXPECT_TRUE(DllMain(nullptr, reason, nullptr));
        Snapshot after = snapshot();
        EXPECT_EQ(0, memcmp(&after, &attached, sizeof after)) << "reason " << reason;
    }

    // A number outside the pool reaches the macro function unchanged, and stays afterwards.
    XLOPER12 pool[21];
    std::vector<uintptr_t> args{arg(-5)};
    for (XLOPER12& operand : pool) args.push_back(arg(&operand));
    resetHost();
    ProbedCall call = callProbed(reinterpret_cast<const void*>(&ForwardSlotCall), args);
    ASSERT_EQ(hostRequests.size(), 1u);
    EXPECT_EQ(hostRequests[0].operandValues[1].val.w, -5);
    EXPECT_EQ(slotOperand.val.w, -5);
    EXPECT_EQ(call.result, reinterpret_cast<uintptr_t>(&slotResult));
    if (kIs32Bit) { EXPECT_EQ(call.bytesRemoved, 88); }
}

TEST(BridgeRecords, MacroNameTable) {
    const char* const expected[32] = {
        "SAMENVOEGEN", "ANT",    "GEM",    "MAX",    "MIN",    "OMS",    "SOM",    "BEDRIJF",
        "DATUM",       "WEEKNR", "REKOMS", "REKSAL", "REKSAM", "DI1OMS", "DI2OMS", "DIMOMS",
        "KLTOMS",      "KLTWPL", "KLTSAL", "LEVOMS", "LEVWPL", "LEVSAL", "ANWSAL", "TABOMS",
        "FLDOMS",      "FLDTPE", "FLDLEN", "FLDCLS", "FLDOPT", "FLDCAL", "DBF",    "URL"};
    ASSERT_EQ(macroNameTable.size(), 32u);
    for (int i = 0; i < 32; ++i) {
        const std::string name = std::string("vbaQUORBELT_") + expected[i];
        EXPECT_EQ(macroNameTable[i][0], name.size()) << i;
        EXPECT_EQ(countedText(macroNameTable[i]), name) << "entry " << i;
    }
}
