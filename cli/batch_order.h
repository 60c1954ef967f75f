// A batch's inputs converted side by side while what each prints comes out
// as if they had run one after another: an input's lines are printed at once
// while every earlier input has finished, else kept until then.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class BatchOrder {
public:
    // `turn` is called with each input's number as its lines start to show
    // (from 0 on, in order), `printing` before any text is printed; both under
    // the order's lock.
    BatchOrder(size_t inputs, std::function<void(size_t)> turn, std::function<void()> printing);

    // Text of input `input` for `stream` (stdout or stderr).
    void print(size_t input, std::FILE* stream, std::string text);
    // Input `input` has printed all it will.
    void finish(size_t input);

private:
    void printLocked(std::FILE* stream, const std::string& text);

    std::mutex lock_;
    std::vector<std::vector<std::pair<std::FILE*, std::string>>> kept_;
    std::vector<bool> finished_;
    size_t turn_ = 0;
    std::function<void(size_t)> onTurn_;
    std::function<void()> printing_;
};

// Threads worth converting a batch's inputs side by side on: one a core, up to
// one an input.
unsigned batchThreads(size_t inputs);

// Runs run(0) .. run(inputs - 1) on `threads` threads, the calling one
// included (fewer when the system starts no more), each taking the next input
// not yet taken.
void runSideBySide(size_t inputs, unsigned threads, const std::function<void(size_t)>& run);
