// Every slot of the pool, called as Excel calls it.
#include <gtest/gtest.h>

#include "excel_host.h"
#include "expected_exports.h"
#include "quorbelt_module.h"
#include "single_thread.h"
#include "stack_probe.h"
#include "worksheet_call.h"

namespace {

LPXLOPER12 callSlot(int slot, XLOPER12* const* operands, int* bytesRemoved = nullptr) {
    return callWorksheet("QUORBELT_D" + std::to_string(slot), operands, 21, bytesRemoved);
}

}  // namespace

TEST(SlotPool, EverySlotForwardsItsNumberAndOperands) {
    XLOPER12 pool[21];
    LPXLOPER12 shared = nullptr;
    const XLOPER12* dispatcherName = nullptr;
    for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) {
        CASE_TRACE(slot);
        XLOPER12* operands[21];  // 5 is prime to 21: a different permutation for each slot
        for (int i = 0; i < 21; ++i) operands[i] = &pool[(i * 5 + slot) % 21];
        resetHost();
        hostScript.number = slot;
        int removed = 0;
        LPXLOPER12 result = callSlot(slot, operands, &removed);

        ASSERT_EQ(hostRequests.size(), 1u);
        const HostRequest& request = hostRequests[0];
        EXPECT_EQ(request.xlfn, 255);
        ASSERT_EQ(request.count, 23);
        EXPECT_EQ(typeWord(&request.operandValues[0]), 2u);
        EXPECT_EQ(countedText(request.operandValues[0].val.str), "vbaQUORBELT_DBF");
        EXPECT_EQ(request.operandValues[0].val.str[0], 15);
        EXPECT_EQ(typeWord(&request.operandValues[1]), 0x800u);
        EXPECT_EQ(request.operandValues[1].val.w, slot);
        for (int i = 0; i < 21; ++i) EXPECT_EQ(request.operands[i + 2], operands[i]);
        if (!shared) shared = result, dispatcherName = request.operands[0];
        EXPECT_EQ(result, shared) << "all slots share one result record";
        EXPECT_EQ(request.result, shared);
        EXPECT_EQ(request.operands[0], dispatcherName);
        EXPECT_EQ(typeWord(result), 1u | 0x1000u);
        EXPECT_EQ(result->val.num, slot);
        if (kIs32Bit) { EXPECT_EQ(removed, 84); }
        if (::testing::Test::HasFailure()) break;  // one slot's report is enough
    }
}

TEST(SlotPool, SlotOperandKeepsTheLastNumber) {
    XLOPER12 pool[21];
    XLOPER12* operands[21];
    for (int i = 0; i < 21; ++i) operands[i] = &pool[i];
    resetHost();
    callSlot(100, operands);
    callSlot(1000, operands);
    ASSERT_EQ(hostRequests.size(), 2u);
    EXPECT_EQ(hostRequests[0].operands, hostRequests[1].operands) << "only the number differs";
    EXPECT_EQ(hostRequests[0].operandValues[1].val.w, 100);
    EXPECT_EQ(hostRequests[1].operands[1]->val.w, 1000) << "not reset after the call";
}

TEST(SlotPool, FailedRequestAnswersValueError) {
    XLOPER12 pool[21];
    XLOPER12* operands[21];
    for (int i = 0; i < 21; ++i) operands[i] = &pool[i];
    resetHost();
    LPXLOPER12 shared = callSlot(7, operands);
    hostScript.returnCode = 1;
    EXPECT_EQ(callSlot(2048, operands), shared);
    EXPECT_EQ(typeWord(shared), 16u);
    EXPECT_EQ(shared->val.err, 15);
}

TEST(SlotPool, NoSlotBeyondTheRangeOrWithLeadingZero) {
    for (const char* name : {"QUORBELT_D2049", "QUORBELT_D-1", "QUORBELT_D00", "QUORBELT_D01",
                             "QUORBELT_D0100", "QUORBELT_d1"})
        EXPECT_EQ(GetProcAddress(quorbeltModule(), name), nullptr) << name;
}
