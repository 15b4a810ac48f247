#include "stack_probe.h"

#include <gtest/gtest.h>

constexpr size_t kMaxArguments = 24;

#if defined(__i386__)
// int64 probe(function, arguments, count, &removed), cdecl: pushes the arguments right to left,
// calls, and compares the stack pointer after the call with the one before the pushes.
extern "C" uint64_t quorbeltProbe(const void*, const uintptr_t*, unsigned, int*);
asm(R"(
    .text
    .globl _quorbeltProbe
_quorbeltProbe:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl %esp, %edi
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  call *8(%ebp)
    movl %edi, %ebx
    subl %esp, %ebx
    movl %edi, %esp
    movl 16(%ebp), %ecx
    shll $2, %ecx
    subl %ebx, %ecx
    movl 20(%ebp), %ebx
    movl %ecx, (%ebx)
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

ProbedCall callProbed(const void* function, const std::vector<uintptr_t>& arguments) {
    EXPECT_LE(arguments.size(), kMaxArguments);
    ProbedCall call{};
    call.result = static_cast<uintptr_t>(
        quorbeltProbe(function, arguments.data(), arguments.size(), &call.bytesRemoved));
    return call;
}
#else
// In the 64-bit convention the caller owns the argument area, so passing more arguments than
// the callee takes is harmless.
typedef uintptr_t (*Wide)(uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t,
                          uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t,
                          uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t,
                          uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t);

ProbedCall callProbed(const void* function, const std::vector<uintptr_t>& arguments) {
    EXPECT_LE(arguments.size(), kMaxArguments);
    uintptr_t a[kMaxArguments] = {};
    for (size_t i = 0; i < arguments.size() && i < kMaxArguments; ++i) a[i] = arguments[i];
    Wide wide = reinterpret_cast<Wide>(const_cast<void*>(function));
    uintptr_t result = wide(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10],
                           a[11], a[12], a[13], a[14], a[15], a[16], a[17], a[18], a[19], a[20],
                           a[21], a[22], a[23]);
    return ProbedCall{result, -1};
}
#endif
