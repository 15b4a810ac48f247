#include "excel_host.h"

#include <cstring>

std::vector<HostRequest> hostRequests;
HostScript hostScript;

void resetHost() {
    hostRequests.clear();
    hostScript = HostScript();
}

DWORD typeWord(const XLOPER12* record) {
    DWORD type;
    std::memcpy(&type, reinterpret_cast<const char*>(record) + 24, sizeof type);
    return type;
}

std::string countedText(const XCHAR* counted) {
    std::string text;
    for (int i = 1; i <= counted[0]; ++i) text += static_cast<char>(counted[i]);
    return counted[counted[0] + 1] == 0 ? text : "<unterminated>";
}

extern "C" int WINAPI MdCallBack12(int xlfn, int count, LPXLOPER12* operands, LPXLOPER12 result) {
    HostRequest request{xlfn, count, {}, {}, result};
    for (int i = 0; i < count; ++i) {
        request.operands.push_back(operands[i]);
        request.operandValues.push_back(*operands[i]);
    }
    hostRequests.push_back(request);
    if (hostScript.returnCode != 0) return hostScript.returnCode;
    // Excel writes value and type; the type word sits at byte 24 in both widths.
    char* bytes = reinterpret_cast<char*>(result);
    DWORD type = hostScript.text ? 2 : 1;
    if (hostScript.text)
        std::memcpy(bytes, &hostScript.text, sizeof hostScript.text);
    else
        std::memcpy(bytes, &hostScript.number, sizeof hostScript.number);
    std::memcpy(bytes + 24, &type, sizeof type);
    return 0;
}
