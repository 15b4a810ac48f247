// The slot pool: QUORBELT_D<n> for every n of the slot range, each its own entry point with
// its number as a constant, since Excel tells us the slot only by which entry it calls.
#include "../bridge/operand_lists.h"
#include "../bridge/slot_dispatcher.h"

#define QB_SLOT(n)                                                  \
    extern "C" LPXLOPER12 WINAPI QUORBELT_D##n(QB_OPERANDS(21)) { \
        return ForwardSlotCall(n, QB_ARGS(21));                     \
    }
#include "slot_numbers.inc"  // generated: QB_SLOT(0) ... QB_SLOT(last)
