// Every fuzz target defines the libFuzzer entry point. The same sources build
// two ways: linked with libFuzzer for coverage-guided runs, and linked with
// replay_main.cpp, which feeds it every file of the corpus and crasher folders
// so the tests keep replaying them on every platform.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// A finding: prints the reason and aborts, which both libFuzzer and the replay
// driver report with the input that caused it.
[[noreturn]] void fuzzFailure(const char* what);

#define FUZZ_CHECK(condition)                                                  \
    do {                                                                       \
        if (!(condition)) {                                                    \
            fuzzFailure(__FILE__ ":" FUZZ_LINE_STRING(__LINE__) ": " #condition); \
        }                                                                      \
    } while (0)
#define FUZZ_LINE_STRING(line) FUZZ_LINE_STRING2(line)
#define FUZZ_LINE_STRING2(line) #line
