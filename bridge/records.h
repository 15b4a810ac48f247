// The static records that every worksheet forward hands to Excel, and the macro-name table.
#pragma once
#include <array>

#include "fixed_functions.h"
#include "xloper.h"

constexpr int kMacroNameCount = 32;
constexpr int kDispatcherNameEntry = 30;  // "vbaQUORBELT_DBF", the macro function of every slot

// Addresses of counted strings: length unit, the characters, then a zero unit.
extern const std::array<const XCHAR*, kMacroNameCount> macroNameTable;

extern XLOPER12 slotOperand;            // xltypeInt; the number of the latest slot call
extern XLOPER12 dispatcherNameOperand;  // xltypeStr; names "vbaQUORBELT_DBF"
extern XLOPER12 functionNameOperand;    // xltypeStr; names the latest fixed-name call's macro

// One result record per fixed-name export, named like the export.
struct FixedResultRecords {
#define QB_RECORD(name, operands, entry) XLOPER12 name;
#define QB_FUNCTION(word, operands, entry, languages) \
    QB_EXPORTS_OF(QB_RECORD, word, operands, entry, languages)
#include "fixed_function_table.inc"
#undef QB_FUNCTION
#undef QB_RECORD
};
extern FixedResultRecords fixedResults;

extern XLOPER12 slotResult;  // the one result record that all slots share
