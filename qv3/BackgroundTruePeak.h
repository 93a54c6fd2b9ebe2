// A LoudnessMeter's true peak measured on a thread of its own, a chunk behind the stream: in a pass that
// reads, renders and writes on one core, the true peak (which costs as much as all the rest) takes another.
#pragma once

#include "LoudnessMeter.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

class BackgroundTruePeak {
  public:
    // `apart` false measures on the caller's thread, as LoudnessMeter::add does.
    BackgroundTruePeak(LoudnessMeter& meter, int channels, bool apart);
    ~BackgroundTruePeak();
    BackgroundTruePeak(const BackgroundTruePeak&) = delete;
    BackgroundTruePeak& operator=(const BackgroundTruePeak&) = delete;

    // The loudness here, the true peak of the frames once a chunk is full.
    void add(const float* interleaved, std::int64_t frames);
    // Measures what is left and waits for the thread; rethrows what it threw. The meter's figures are
    // complete after it.
    void finish();

  private:
    void handOver();
    void work();

    LoudnessMeter& meter_;
    const int channels_;
    std::vector<float> filling_;   // frames the next hand-over takes
    std::vector<float> measuring_; // frames the thread measures
    std::mutex mutex_;
    std::condition_variable changed_;
    bool pending_ = false; // `measuring_` holds frames not yet measured
    bool ending_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};
