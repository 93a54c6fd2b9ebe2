#include "Batch.h"

#include "Errors.h"
#include "Platform.h"
#include "TextNumbers.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>
#include <vector>

namespace {
// Work shorter than this finishes before a progress display would be worth drawing.
constexpr double kProgressAfterSeconds = 5.0;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kLineWidth = 72;

std::string minutesAndSeconds(double seconds) {
    const long whole = static_cast<long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}
} // namespace

int defaultWorkerCount() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

int parseWorkerCount(const std::string& text) {
    auto count = parseWholeNumber(text);
    if (!count || *count < 1 || *count > kMostTemporaryFiles)
        throw UsageError("--jobs takes 1 to " + std::to_string(kMostTemporaryFiles) + " workers, not '" +
                         text + "'");
    return *count;
}

void forEachInParallel(std::size_t count, int workers, const std::function<void(std::size_t)>& task) {
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto work = [&] {
        for (std::size_t index = next++; index < count; index = next++) {
            try {
                task(index);
            } catch (...) {
                std::lock_guard<std::mutex> lock(failureMutex);
                if (!failure) failure = std::current_exception();
                next = count;
            }
        }
    };
    const std::size_t threads = std::min<std::size_t>(count, static_cast<std::size_t>(std::max(1, workers)));
    if (threads <= 1) {
        work();
    } else {
        std::vector<std::thread> pool;
        for (std::size_t worker = 0; worker < threads; ++worker)
            pool.emplace_back(work);
        for (std::thread& thread : pool)
            thread.join();
    }
    if (failure) std::rethrow_exception(failure);
}

BatchProgress::BatchProgress(std::size_t files, double totalSeconds)
    : files_(files), totalSeconds_(totalSeconds),
      shown_(standardErrorIsTerminal() && totalSeconds > kProgressAfterSeconds) {}

void BatchProgress::advance(double seconds) {
    if (!shown_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    secondsDone_ += seconds;
    draw(false);
}

void BatchProgress::fileDone(double secondsLeftUnwritten) {
    if (!shown_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    ++filesDone_;
    secondsDone_ += secondsLeftUnwritten;
    draw(true);
}

void BatchProgress::note(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (visible_) std::fprintf(stderr, "\r%*s\r", kLineWidth, "");
    std::fprintf(stderr, "%s\n", line.c_str());
    if (visible_) draw(true);
    std::fflush(stderr);
}

void BatchProgress::clear() {
    if (!shown_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (visible_) std::fprintf(stderr, "\r%*s\r", kLineWidth, "");
    std::fflush(stderr);
    visible_ = false;
}

void BatchProgress::draw(bool force) {
    const auto now = Clock::now();
    if (!force && now - drawn_ < kRedrawInterval) return;
    drawn_ = now;
    const double elapsed = std::chrono::duration<double>(now - started_).count();
    const int percent = static_cast<int>(std::min(100.0, 100.0 * secondsDone_ / totalSeconds_));
    char line[kLineWidth + 1];
    std::snprintf(line, sizeof line, "%zu/%zu files, %s of %s audio (%d%%), %.0fx real time", filesDone_,
                  files_, minutesAndSeconds(secondsDone_).c_str(), minutesAndSeconds(totalSeconds_).c_str(),
                  percent, elapsed > 0.0 ? secondsDone_ / elapsed : 0.0);
    std::fprintf(stderr, "\r%-*s", kLineWidth, line);
    std::fflush(stderr);
    visible_ = true;
}
