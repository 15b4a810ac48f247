#include "slot_dispatcher.h"

#include "excel_request.h"
#include "records.h"

LPXLOPER12 WINAPI ForwardSlotCall(int slot, QB_OPERANDS(21)) {
    slotOperand.val.w = slot;  // no range check: the macro function sees every number as sent
    return takeResult(Excel12(xlUDF, &slotResult, 23, &dispatcherNameOperand, &slotOperand,
                              QB_ARGS(21)),
                      &slotResult);
}
