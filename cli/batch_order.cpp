#include "cli/batch_order.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

BatchOrder::BatchOrder(size_t inputs, std::function<void(size_t)> turn, std::function<void()> printing)
    : kept_(inputs), finished_(inputs, false), onTurn_(std::move(turn)), printing_(std::move(printing))
{
    if (inputs > 0) {
        onTurn_(0);
    }
}

void BatchOrder::printLocked(std::FILE* stream, const std::string& text)
{
    printing_();
    std::fputs(text.c_str(), stream);
    // A stream's frames are announced as they are written.
    std::fflush(stream);
}

void BatchOrder::print(size_t input, std::FILE* stream, std::string text)
{
    const std::lock_guard<std::mutex> hold(lock_);
    if (input == turn_) {
        printLocked(stream, text);
    } else {
        kept_[input].emplace_back(stream, std::move(text));
    }
}

void BatchOrder::finish(size_t input)
{
    const std::lock_guard<std::mutex> hold(lock_);
    finished_[input] = true;
    while (turn_ < finished_.size() && finished_[turn_]) {
        ++turn_;
        if (turn_ == finished_.size()) {
            break;
        }
        onTurn_(turn_);
        for (const auto& [stream, text] : kept_[turn_]) {
            printLocked(stream, text);
        }
        kept_[turn_].clear();
    }
}

unsigned batchThreads(size_t inputs)
{
    const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::min<size_t>(hardware, std::max<size_t>(inputs, 1)));
}

void runSideBySide(size_t inputs, unsigned threads, const std::function<void(size_t)>& run)
{
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t input = next++; input < inputs; input = next++) {
            run(input);
        }
    };
    std::vector<std::thread> helpers;
    try {
        for (unsigned t = 1; t < threads; ++t) {
            helpers.emplace_back(work);
        }
    } catch (const std::exception&) {
        // No thread or no memory for one: fewer threads still run every input.
    }
    work();
    for (auto& helper : helpers) {
        helper.join();
    }
}
