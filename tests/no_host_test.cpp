// A host that exports no callback: requests fail until one is handed over, and the first
// callback handed over is kept.
#include <gtest/gtest.h>

#include "expected_exports.h"
#include "quorbelt_module.h"
#include "stack_probe.h"
#include "worksheet_call.h"

namespace {

int firstCalls, secondCalls, lastCount, lastSlot;

int WINAPI firstCallback(int, int count, LPXLOPER12* operands, LPXLOPER12 result) {
    ++firstCalls;
    lastCount = count;
    if (count == 23) lastSlot = operands[1]->val.w;
    result->val.num = 42;
    result->xltype = 1;
    return 0;
}

int WINAPI secondCallback(int, int, LPXLOPER12*, LPXLOPER12) { return ++secondCalls, 0; }

XLOPER12 pool[21];

LPXLOPER12 call(const char* name, int operands) { return callWorksheet(name, pool, operands); }

}  // namespace

TEST(NoHostCallback, RequestsFailUntilACallbackIsHandedOver) {
    LPXLOPER12 fixed = call("QUORBELT_DATUM_NL", 5);
    EXPECT_EQ(fixed->xltype, 16u) << "#VALUE!, no free flag on a record Excel never filled";
    EXPECT_EQ(fixed->val.err, 15);
    LPXLOPER12 slot = call("QUORBELT_D5", 21);
    EXPECT_EQ(slot->xltype, 16u);
    EXPECT_EQ(slot->val.err, 15);

    ProbedCall set = callProbed(quorbeltExport(kSetterExport), {arg(&firstCallback)});
    if (kIs32Bit) { EXPECT_EQ(set.bytesRemoved, 4); }
    EXPECT_EQ(call("QUORBELT_DATUM_NL", 5), fixed);
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(lastCount, 6);
    EXPECT_EQ(fixed->xltype, 1u | 0x1000u);
    EXPECT_EQ(fixed->val.num, 42);

    callProbed(quorbeltExport(kSetterExport), {arg(&secondCallback)});
    call("QUORBELT_D5", 21);
    EXPECT_EQ(firstCalls, 2) << "a known callback is never replaced";
    EXPECT_EQ(secondCalls, 0);
    EXPECT_EQ(lastSlot, 5);
}
