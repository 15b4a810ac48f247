// A stand-in for Excel's callback: records every request and answers as scripted.
#pragma once
#include <string>
#include <vector>

#include "bridge/xloper.h"

struct HostRequest {
    int xlfn;
    int count;
    std::vector<LPXLOPER12> operands;
    std::vector<XLOPER12> operandValues;  // what the operands held during the request
    LPXLOPER12 result;
};

struct HostScript {
    int returnCode = 0;     // 0: fill the result record; otherwise answer this and leave it alone
    double number = 0;      // written as a number unless text is set
    const XCHAR* text = nullptr;  // a counted string "Excel" owns
};

extern std::vector<HostRequest> hostRequests;
extern HostScript hostScript;
void resetHost();

// Read independently of the XLOPER12 declaration, so that a layout slip there shows.
DWORD typeWord(const XLOPER12* record);
// Text of a counted string; "<unterminated>" when no zero unit follows the characters.
std::string countedText(const XCHAR* counted);
