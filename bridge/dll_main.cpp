#include "records.h"

// Runs after the runtime's own start-up. Only process attach does anything: the operand records
// must hold their types before Excel can call any worksheet function.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        slotOperand.xltype = xltypeInt;
        slotOperand.val.w = -1;
        dispatcherNameOperand.xltype = xltypeStr;
        dispatcherNameOperand.val.str = const_cast<XCHAR*>(macroNameTable[kDispatcherNameEntry]);
        functionNameOperand.xltype = xltypeStr;
    }
    return TRUE;
}
