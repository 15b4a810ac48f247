// Calls an export with pointer-wide arguments. In the 32-bit build it also measures how many
// bytes of arguments the callee removed from the stack, which is what a caller in the standard
// convention relies on.
#pragma once
#include <cstdint>
#include <vector>

struct ProbedCall {
    uintptr_t result;  // eax in 32-bit, rax in 64-bit
    int bytesRemoved;  // 32-bit only; -1 in 64-bit, where the caller removes them
};

ProbedCall callProbed(const void* function, const std::vector<uintptr_t>& arguments);

constexpr bool kIs32Bit = sizeof(void*) == 4;

template <class T>
uintptr_t arg(T value) {
    return (uintptr_t)(value);
}
