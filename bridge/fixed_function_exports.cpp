// The fixed-name worksheet functions: each names its macro function in the shared
// function-name operand and forwards its own operands to it through xlUDF.
#include "excel_request.h"
#include "operand_lists.h"
#include "records.h"

#define QB_DEFINE_EXPORT(name, operands, entry)                                                 \
    extern "C" LPXLOPER12 WINAPI QUORBELT_##name(QB_OPERANDS(operands)) {                      \
        functionNameOperand.val.str = const_cast<XCHAR*>(macroNameTable[entry]);               \
        return takeResult(Excel12(xlUDF, &fixedResults.name, operands + 1, &functionNameOperand, \
                                  QB_ARGS(operands)),                                          \
                          &fixedResults.name);                                                 \
    }
#define QB_FUNCTION(word, operands, entry, languages) \
    QB_EXPORTS_OF(QB_DEFINE_EXPORT, word, operands, entry, languages)
#include "fixed_function_table.inc"
#undef QB_FUNCTION

// Exported for the macro project's registration code; it takes part in no forwarding.
extern "C" void WINAPI QUORBELT_UDF() {}
