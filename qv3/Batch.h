// Work on many files at once: a fixed number of worker threads and one progress display for all of them.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>

// The default number of workers: one per processor.
int defaultWorkerCount();

// The argument of --jobs: 1 to kMostTemporaryFiles workers. Throws UsageError for anything else.
int parseWorkerCount(const std::string& text);

// Runs task(index) for every index below `count` on up to `workers` threads, each taking the next index as
// it finishes one; returns when all are done. A task reports its own failures; an exception that escapes one
// is rethrown here after every worker has stopped.
void forEachInParallel(std::size_t count, int workers, const std::function<void(std::size_t)>& task);

// Files done, audio done and speed on one line of standard error, redrawn in place; shown only on a terminal
// and only for work long enough to be worth watching. Any thread may report.
class BatchProgress {
  public:
    BatchProgress(std::size_t files, double totalSeconds);
    ~BatchProgress() { clear(); }
    BatchProgress(const BatchProgress&) = delete;
    BatchProgress& operator=(const BatchProgress&) = delete;

    // Audio written, in seconds; a failed file's remaining audio counts as done when it is given up.
    void advance(double seconds);
    void fileDone(double secondsLeftUnwritten);
    // Prints a line on standard error (a file's failure) without mixing it into the progress display.
    void note(const std::string& line);
    // Removes the line so that what follows starts on a clean one.
    void clear();

  private:
    void draw(bool force);

    using Clock = std::chrono::steady_clock;
    std::mutex mutex_;
    const std::size_t files_;
    const double totalSeconds_;
    const bool shown_;
    const Clock::time_point started_ = Clock::now();
    Clock::time_point drawn_{};
    std::size_t filesDone_ = 0;
    double secondsDone_ = 0.0;
    bool visible_ = false;
};
