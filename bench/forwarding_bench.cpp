// Time per forwarded call next to the floor (the host callback called directly), load and
// unload time, the library's size, and heap allocations made while forwarding.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "bridge/xloper.h"
#include "tests/import_spy.h"

namespace {

constexpr int kCalls = 1000000;
constexpr int kRounds = 5;

extern "C" int WINAPI MdCallBack12(int, int, LPXLOPER12*, LPXLOPER12 result) {
    result->val.num = 1;
    result->xltype = 1;
    return 0;
}

typedef LPXLOPER12(WINAPI* Fixed5)(LPXLOPER12, LPXLOPER12, LPXLOPER12, LPXLOPER12, LPXLOPER12);
typedef LPXLOPER12(WINAPI* Slot)(LPXLOPER12, LPXLOPER12, LPXLOPER12, LPXLOPER12, LPXLOPER12,
                                 LPXLOPER12, LPXLOPER12, LPXLOPER12, LPXLOPER12, LPXLOPER12,
                                 LPXLOPER12, LPXLOPER12, LPXLOPER12, LPXLOPER12, LPXLOPER12,
                                 LPXLOPER12, LPXLOPER12, LPXLOPER12, LPXLOPER12, LPXLOPER12,
                                 LPXLOPER12);

XLOPER12 operands[23];
XLOPER12 floorResult;
LPXLOPER12 prebuilt[23];

double now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

// Best of several rounds, in nanoseconds per call.
template <class F>
double nanosecondsPerCall(F call) {
    double best = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        const double start = now();
        for (int i = 0; i < kCalls; ++i) call();
        best = std::min(best, (now() - start) * 1e9 / kCalls);
    }
    return best;
}

long allocations;
void* (*realMalloc)(size_t);
void* (*realCalloc)(size_t, size_t);
void* (*realRealloc)(void*, size_t);
LPVOID(WINAPI* realHeapAlloc)(HANDLE, DWORD, SIZE_T);
void* countingMalloc(size_t size) { return ++allocations, realMalloc(size); }
void* countingCalloc(size_t count, size_t size) { return ++allocations, realCalloc(count, size); }
void* countingRealloc(void* block, size_t size) { return ++allocations, realRealloc(block, size); }
LPVOID WINAPI countingHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
    return ++allocations, realHeapAlloc(heap, flags, size);
}

}  // namespace

int main() {
    const double loadStart = now();
    HMODULE module = LoadLibraryA(QUORBELT_DLL);
    const double loaded = now();
    if (!module) {
        std::printf("%s did not load\n", QUORBELT_DLL);
        return 1;
    }
    FreeLibrary(module);
    const double unloaded = now();
    module = LoadLibraryA(QUORBELT_DLL);

    auto fixed = reinterpret_cast<Fixed5>(reinterpret_cast<void*>(GetProcAddress(module, "QUORBELT_KLTSAL_NL")));
    auto slot = reinterpret_cast<Slot>(reinterpret_cast<void*>(GetProcAddress(module, "QUORBELT_D1024")));
    LPXLOPER12 o[21];
    for (int i = 0; i < 21; ++i) o[i] = &operands[i];
    for (int i = 0; i < 23; ++i) prebuilt[i] = &operands[i];

    // Through a pointer, as the library reaches it, so the compiler cannot inline the floor.
    int(WINAPI* volatile callback)(int, int, LPXLOPER12*, LPXLOPER12) = MdCallBack12;
    volatile int code;
    volatile LPXLOPER12 sink;
    const double floorNs =
        nanosecondsPerCall([&] { code = callback(255, 23, prebuilt, &floorResult); });
    const double fixedNs = nanosecondsPerCall([&] { sink = fixed(o[0], o[1], o[2], o[3], o[4]); });
    const double slotNs = nanosecondsPerCall([&] {
        sink = slot(o[0], o[1], o[2], o[3], o[4], o[5], o[6], o[7], o[8], o[9], o[10], o[11], o[12],
                    o[13], o[14], o[15], o[16], o[17], o[18], o[19], o[20]);
    });

    // Imports the library does not have stay unpatched: nothing to count there.
    const std::vector<ImportPatch> allocators = {
        importPatch("msvcrt.dll", "malloc", &countingMalloc, &realMalloc),
        importPatch("msvcrt.dll", "calloc", &countingCalloc, &realCalloc),
        importPatch("msvcrt.dll", "realloc", &countingRealloc, &realRealloc),
        importPatch("kernel32.dll", "HeapAlloc", &countingHeapAlloc, &realHeapAlloc),
    };
    applyImportPatches(module, allocators);
    for (int i = 0; i < kCalls / 2; ++i) {
        sink = fixed(o[0], o[1], o[2], o[3], o[4]);
        sink = slot(o[0], o[1], o[2], o[3], o[4], o[5], o[6], o[7], o[8], o[9], o[10], o[11], o[12],
                    o[13], o[14], o[15], o[16], o[17], o[18], o[19], o[20]);
    }
    restoreImportPatches(module, allocators);

    char path[MAX_PATH];
    GetModuleFileNameA(module, path, MAX_PATH);
    WIN32_FILE_ATTRIBUTE_DATA file{};
    GetFileAttributesExA(path, GetFileExInfoStandard, &file);

    std::printf("%s, %d-bit\n", QUORBELT_DLL, int(sizeof(void*) * 8));
    std::printf("  callback called directly   %7.1f ns/call  1.00x\n", floorNs);
    std::printf("  fixed-name export (5 ops)  %7.1f ns/call  %.2fx\n", fixedNs, fixedNs / floorNs);
    std::printf("  slot export (21 ops)       %7.1f ns/call  %.2fx\n", slotNs, slotNs / floorNs);
    std::printf("  load %.2f ms, unload %.2f ms, size %lu bytes\n", (loaded - loadStart) * 1e3,
                (unloaded - loaded) * 1e3, static_cast<unsigned long>(file.nFileSizeLow));
    std::printf("  heap allocations during %d forwards: %ld (malloc %s)\n", kCalls, allocations,
                realMalloc ? "watched" : "not imported");
    FreeLibrary(module);
    return 0;
}
