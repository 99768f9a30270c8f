// Calls Z_ALITrans of the DLL named by the first argument the way the 32-bit point-of-sale
// program does, through a __stdcall pointer taken from GetProcAddress, 200 times, and checks
// after every call that the callee removed its argument: the stack pointer must be
// where it was before the argument was pushed. Exit code 0 when it always was.
#include <windows.h>

#include <cstdio>

#include "vortal.h"

namespace {

using Transact = TransResult*(__stdcall*)(const char*);

// Pushes the argument, calls, and returns how far the stack pointer moved over both.
int stack_drift(Transact transact, const char* input, TransResult*& result) {
    int drift = 0;
    asm volatile(
        "movl %%esp, %%esi\n\t"
        "pushl %[input]\n\t"
        "call *%[transact]\n\t"
        "subl %%esp, %%esi\n\t"
        : "=&S"(drift), "=a"(result)
        : [input] "r"(input), [transact] "r"(transact)
        : "ecx", "edx", "memory", "cc");
    return drift;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vortal_stdcall_caller PATH\\Vortal.dll\n");
        return 2;
    }
    HMODULE library = LoadLibraryA(argv[1]);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    const auto transact =
        reinterpret_cast<Transact>(reinterpret_cast<void*>(GetProcAddress(library, "Z_ALITrans")));
    if (transact == nullptr) {
        std::fprintf(stderr, "Z_ALITrans is not exported undecorated\n");
        return 1;
    }
    constexpr int kCalls = 200;
    for (int call = 0; call < kCalls; ++call) {
        TransResult* result = nullptr;
        // An unknown operation: answered at once, without the network.
        const int drift = stack_drift(transact, "Z9|", result);
        if (drift != 0 || result == nullptr || result->code[0] != '0' || result->code[1] != '1') {
            std::fprintf(stderr, "call %d: stack moved by %d bytes, code \"%s\"\n", call, drift,
                         result != nullptr ? result->code : "(no record)");
            return 1;
        }
    }
    std::printf("%d calls, the stack pointer unchanged after each\n", kCalls);
    FreeLibrary(library);
    return 0;
}
