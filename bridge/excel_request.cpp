#include "excel_request.h"

#include <cstdarg>

namespace {

EXCEL12PROC excelCallback;  // once known, kept for the process's lifetime

void lookUpCallback() {
    if (excelCallback) return;
    if (HMODULE host = GetModuleHandleA(nullptr)) {
        excelCallback = reinterpret_cast<EXCEL12PROC>(
            reinterpret_cast<void*>(GetProcAddress(host, "MdCallBack12")));
    }
}

}  // namespace

int Excel12(int xlfn, LPXLOPER12 result, int count, ...) {
    lookUpCallback();
    if (!excelCallback) return xlretFailed;
    if (count < 0 || count > kMaxRequestOperands) return xlretInvCount;

    LPXLOPER12 operands[kMaxRequestOperands];
    va_list args;
    va_start(args, count);
    for (int i = 0; i < count; ++i) operands[i] = va_arg(args, LPXLOPER12);
    va_end(args);
    return excelCallback(xlfn, count, operands, result);
}

extern "C" void WINAPI SetExcel12EntryPt(EXCEL12PROC callback) {
    lookUpCallback();
    if (!excelCallback) excelCallback = callback;
}
