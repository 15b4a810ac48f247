// The 151 fixed-name exports and the entry-point setter, called as Excel calls them.
#include <gtest/gtest.h>

#include <set>

#include "excel_host.h"
#include "expected_exports.h"
#include "quorbelt_module.h"
#include "single_thread.h"
#include "stack_probe.h"
#include "worksheet_call.h"

namespace {

const XCHAR kExcelText[] = {3, 'a', 'b', 'c', 0};  // a string that "Excel" made for the value

LPXLOPER12 callFixed(const ExpectedFixedExport& e, XLOPER12* operands) {
    return callWorksheet(e.name, operands, e.operands);
}

const ExpectedFixedExport& fixedExport(const std::string& name) {
    static const std::vector<ExpectedFixedExport> all = expectedFixedExports();
    for (const ExpectedFixedExport& e : all)
        if (e.name == name) return e;
    throw std::runtime_error("no such export in the expectations: " + name);
}

}  // namespace

TEST(FixedExports, EveryExportForwardsItsOperandsToItsMacroFunction) {
    const std::vector<ExpectedFixedExport> all = expectedFixedExports();
    ASSERT_EQ(all.size(), 151u);
    XLOPER12 pool[20];
    std::set<LPXLOPER12> records;
    std::set<LPXLOPER12> nameOperands;
    int round = 0;
    for (const ExpectedFixedExport& e : all) {
        CASE_TRACE(e.name);
        // Distinct operand addresses, in an order that changes from export to export.
        XLOPER12* operands[20];
        for (int i = 0; i < 20; ++i) operands[i] = &pool[(i * 3 + round) % 20];
        ++round;

        resetHost();
        hostScript.text = kExcelText;
        int removed = 0;
        LPXLOPER12 result = callWorksheet(e.name, operands, e.operands, &removed);

        ASSERT_EQ(hostRequests.size(), 1u);
        const HostRequest& request = hostRequests[0];
        EXPECT_EQ(request.xlfn, 255);
        EXPECT_EQ(request.count, e.operands + 1);
        ASSERT_EQ(request.operands.size(), size_t(e.operands + 1));
        EXPECT_EQ(typeWord(&request.operandValues[0]), 2u);
        EXPECT_EQ(countedText(request.operandValues[0].val.str), e.macro);
        nameOperands.insert(request.operands[0]);
        for (int i = 0; i < e.operands; ++i) EXPECT_EQ(request.operands[i + 1], operands[i]);
        EXPECT_EQ(request.result, result);
        records.insert(result);
        EXPECT_EQ(typeWord(result), 2u | 0x1000u) << "flag added beside the type Excel wrote";
        EXPECT_EQ(result->val.str, kExcelText) << "value untouched";
        if (kIs32Bit) { EXPECT_EQ(removed, 4 * e.operands); }
    }
    EXPECT_EQ(records.size(), 151u) << "every export owns its own result record";
    EXPECT_EQ(nameOperands.size(), 1u) << "one shared function-name operand";
}

TEST(FixedExports, RepeatedCallsReuseTheirOwnRecordOnly) {
    XLOPER12 operands[20];
    resetHost();
    hostScript.number = 1.5;
    LPXLOPER12 first = callFixed(fixedExport("QUORBELT_SOM_NL"), operands);
    hostScript.number = 2.5;
    LPXLOPER12 second = callFixed(fixedExport("QUORBELT_SOM_NL"), operands);
    EXPECT_EQ(first, second);
    EXPECT_EQ(second->val.num, 2.5);
    hostScript.number = 9;
    LPXLOPER12 other = callFixed(fixedExport("QUORBELT_SOM_EN"), operands);
    EXPECT_NE(other, first);
    EXPECT_EQ(first->val.num, 2.5) << "another language's export left this record alone";
    EXPECT_EQ(typeWord(first), 1u | 0x1000u);
}

TEST(FixedExports, SameFunctionInTwoLanguagesMakesTheSameRequest) {
    XLOPER12 operands[20];
    resetHost();
    LPXLOPER12 nl = callFixed(fixedExport("QUORBELT_KLTSAL_NL"), operands);
    LPXLOPER12 de = callFixed(fixedExport("QUORBELT_KLTSAL_DE"), operands);
    ASSERT_EQ(hostRequests.size(), 2u);
    EXPECT_EQ(hostRequests[0].operands, hostRequests[1].operands);
    EXPECT_EQ(countedText(hostRequests[1].operandValues[0].val.str), "vbaQUORBELT_KLTSAL");
    EXPECT_NE(nl, de);
}

TEST(FixedExports, UdfDoesNothing) {
    XLOPER12 operands[20];
    resetHost();
    hostScript.number = 4;
    LPXLOPER12 record = callFixed(fixedExport("QUORBELT_REKSAM_NL"), operands);
    const XLOPER12 recordBefore = *record;
    const XLOPER12* nameOperand = hostRequests[0].operands[0];
    const XCHAR* nameBefore = nameOperand->val.str;

    ProbedCall udf = callProbed(quorbeltExport("QUORBELT_UDF"), {});
    if (kIs32Bit) { EXPECT_EQ(udf.bytesRemoved, 0); }
    EXPECT_EQ(hostRequests.size(), 1u) << "no request to Excel";
    EXPECT_EQ(nameOperand->val.str, nameBefore);
    EXPECT_EQ(countedText(nameOperand->val.str), "vbaQUORBELT_REKSAM");
    EXPECT_EQ(0, memcmp(record, &recordBefore, sizeof recordBefore));
}

TEST(FixedExports, FailedRequestAnswersValueErrorWithoutFreeFlag) {
    XLOPER12 operands[20];
    const ExpectedFixedExport& e = fixedExport("QUORBELT_URL_EN");
    resetHost();
    hostScript.text = kExcelText;
    LPXLOPER12 record = callFixed(e, operands);
    for (int code : {1, 2, 32, 64}) {
        CASE_TRACE(code);
        hostScript.returnCode = code;
        EXPECT_EQ(callFixed(e, operands), record);
        EXPECT_EQ(typeWord(record), 16u) << "#VALUE!, and no request to free Excel memory";
        EXPECT_EQ(record->val.err, 15);
    }
    hostScript.returnCode = 0;
    callFixed(e, operands);
    EXPECT_EQ(typeWord(record), 2u | 0x1000u);
}

TEST(EntryPointSetter, KnownCallbackIsNeverReplaced) {
    static int strangerCalls;
    struct Stranger {
        static int WINAPI callback(int, int, LPXLOPER12*, LPXLOPER12) { return ++strangerCalls, 0; }
    };
    XLOPER12 operands[20];
    resetHost();
    callFixed(fixedExport("QUORBELT_BEDRIJF_FR"), operands);  // the host's callback is known now
    ProbedCall set = callProbed(quorbeltExport(kSetterExport), {arg(&Stranger::callback)});
    if (kIs32Bit) { EXPECT_EQ(set.bytesRemoved, 4); }
    callFixed(fixedExport("QUORBELT_BEDRIJF_FR"), operands);
    EXPECT_EQ(hostRequests.size(), 2u);
    EXPECT_EQ(strangerCalls, 0);
}
