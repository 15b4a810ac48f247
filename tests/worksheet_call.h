// Calls a worksheet export as Excel does: operand addresses in, the address of a record out.
#pragma once
#include <string>
#include <vector>

#include "bridge/xloper.h"
#include "quorbelt_module.h"
#include "stack_probe.h"

// In 32-bit, *bytesRemoved receives the argument bytes the export took off the stack.
inline LPXLOPER12 callWorksheet(const std::string& name, XLOPER12* const* operands, int count,
                                int* bytesRemoved = nullptr) {
    std::vector<uintptr_t> args;
    for (int i = 0; i < count; ++i) args.push_back(arg(operands[i]));
    const ProbedCall call = callProbed(quorbeltExport(name.c_str()), args);
    if (bytesRemoved) *bytesRemoved = call.bytesRemoved;
    return reinterpret_cast<LPXLOPER12>(call.result);
}

// The same with the first count records of pool as operands, in order.
inline LPXLOPER12 callWorksheet(const std::string& name, XLOPER12* pool, int count,
                                int* bytesRemoved = nullptr) {
    std::vector<XLOPER12*> operands;
    for (int i = 0; i < count; ++i) operands.push_back(&pool[i]);
    return callWorksheet(name, operands.data(), count, bytesRemoved);
}
