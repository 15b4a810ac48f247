#include "quorbelt_module.h"

#include <gtest/gtest.h>

HMODULE quorbeltModule() {
    static HMODULE module = LoadLibraryA(QUORBELT_DLL);
    return module;
}

const void* quorbeltExport(const char* name) {
    HMODULE module = quorbeltModule();
    EXPECT_NE(module, nullptr) << QUORBELT_DLL << " did not load";
    const void* address =
        module ? reinterpret_cast<const void*>(GetProcAddress(module, name)) : nullptr;
    EXPECT_NE(address, nullptr) << name << " is not exported";
    return address;
}
