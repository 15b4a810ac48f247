// The request path into Excel: its callback, found in the host's main module or handed in.
#pragma once
#include "xloper.h"

// Excel's callback; called with the standard convention in the 32-bit build.
typedef int(WINAPI* EXCEL12PROC)(int xlfn, int count, LPXLOPER12* operands, LPXLOPER12 result);

constexpr int kMaxRequestOperands = 255;

// Sends one request; count operand addresses follow. Returns Excel's code, xlretFailed
// when no callback is known, xlretInvCount for a count outside 0..255.
int Excel12(int xlfn, LPXLOPER12 result, int count, ...);

extern "C" void WINAPI SetExcel12EntryPt(EXCEL12PROC callback);

// Excel fills the result record only when the request succeeds. After a failure the record
// holds an older value (or zeros) that Excel never allocated for this call, so it must not be
// flagged for freeing: answer #VALUE! instead.
inline LPXLOPER12 takeResult(int requestCode, LPXLOPER12 result) {
    if (requestCode == xlretSuccess) {
        result->xltype |= xlbitXLFree;
    } else {
        result->val.err = xlerrValue;
        result->xltype = xltypeErr;
    }
    return result;
}
