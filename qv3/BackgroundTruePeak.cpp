#include "BackgroundTruePeak.h"

#include <algorithm>

namespace {
constexpr std::size_t kChunkFrames = 16384;
} // namespace

BackgroundTruePeak::BackgroundTruePeak(LoudnessMeter& meter, int channels, bool apart)
    : meter_(meter), channels_(channels) {
    if (!apart) return;
    filling_.reserve(kChunkFrames * static_cast<std::size_t>(channels));
    measuring_.reserve(kChunkFrames * static_cast<std::size_t>(channels));
    thread_ = std::thread([this] { work(); });
}

BackgroundTruePeak::~BackgroundTruePeak() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundTruePeak::add(const float* interleaved, std::int64_t frames) {
    meter_.addLoudness(interleaved, frames);
    if (!thread_.joinable()) {
        meter_.addTruePeak(interleaved, frames);
        return;
    }
    const std::size_t chunk = kChunkFrames * static_cast<std::size_t>(channels_);
    for (std::size_t done = 0, count = static_cast<std::size_t>(frames * channels_); done < count;) {
        const std::size_t taken = std::min(count - done, chunk - filling_.size());
        filling_.insert(filling_.end(), interleaved + done, interleaved + done + taken);
        done += taken;
        if (filling_.size() == chunk) handOver();
    }
}

void BackgroundTruePeak::finish() {
    if (!thread_.joinable()) return;
    if (!filling_.empty()) handOver();
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !pending_; });
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
    if (failure_) std::rethrow_exception(failure_);
}

// Waits until the thread has measured the chunk before, then gives it this one.
void BackgroundTruePeak::handOver() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !pending_; });
        if (failure_) std::rethrow_exception(failure_);
        measuring_.swap(filling_);
        pending_ = true;
    }
    filling_.clear();
    changed_.notify_all();
}

void BackgroundTruePeak::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return pending_ || ending_; });
        if (!pending_) return;
        lock.unlock();
        try {
            meter_.addTruePeak(measuring_.data(), static_cast<std::int64_t>(measuring_.size()) / channels_);
        } catch (...) {
            lock.lock();
            failure_ = std::current_exception();
            pending_ = false;
            changed_.notify_all();
            return;
        }
        lock.lock();
        pending_ = false;
        changed_.notify_all();
    }
}
