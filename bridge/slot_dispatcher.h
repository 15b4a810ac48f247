#pragma once
#include "operand_lists.h"
#include "xloper.h"

// Forwards a slot call to "vbaQUORBELT_DBF": the slot number, then the slot's 21 operands.
// Returns the slots' shared result record.
LPXLOPER12 WINAPI ForwardSlotCall(int slot, QB_OPERANDS(21));
