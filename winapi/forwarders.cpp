// The one-call forwarders: each hands its parameters to the system function of the same name
// and returns its result. Nothing runs before or after that call, so the thread's last-error
// value is the system function's own.
#include <windows.h>
#include <shellapi.h>

#include <cstring>

#define QB_FORWARDER(name, result, parameters, arguments) \
    extern "C" result WINAPI WINAPI_##name parameters { return name arguments; }
#define QB_SERVICE(name)
#include "service_table.inc"
#undef QB_SERVICE
#undef QB_FORWARDER

// The macro project's memory move: overlap-safe in either direction.
extern "C" void WINAPI WINAPI_RtlMoveMemory(void* destination, const void* source, SIZE_T length) {
    std::memmove(destination, source, length);
}
