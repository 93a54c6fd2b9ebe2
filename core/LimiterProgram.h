// One slot of the program bank: the seven parameter values (one release value per mode) and its name.
#pragma once

#include <atomic>
#include <cstddef>

constexpr std::size_t kProgramNameSize = 24; // at most 23 characters and the terminator
constexpr int kProgramCount = 31;

// A normalised parameter value that any thread may read or write at any time: one relaxed atomic float,
// laid out as a plain float. Copies read and write value by value.
class ParameterValue {
  public:
    constexpr ParameterValue(float value = 0.0f) noexcept : value_(value) {}
    ParameterValue(const ParameterValue& other) noexcept : value_(other.load()) {}
    ParameterValue& operator=(const ParameterValue& other) noexcept {
        store(other.load());
        return *this;
    }
    ParameterValue& operator=(float value) noexcept {
        store(value);
        return *this;
    }
    operator float() const noexcept { return load(); }

    float load() const noexcept { return value_.load(std::memory_order_relaxed); }
    void store(float value) noexcept { value_.store(value, std::memory_order_relaxed); }

  private:
    std::atomic<float> value_;
};
static_assert(std::atomic<float>::is_always_lock_free && sizeof(ParameterValue) == sizeof(float),
              "a parameter value is a lock-free float");

// The bank's slots are the effect's live parameter values: the current program's slot is what the formats
// read, what the texts show and what the signal path follows.
struct LimiterProgram {
    ParameterValue relSwitch;
    ParameterValue manualRelease;
    ParameterValue autoRelease;
    ParameterValue makeup;
    ParameterValue ceiling;
    ParameterValue monitor;
    ParameterValue clipSwitch;
    char name[kProgramNameSize];
};

// The factory bank, in index order.
extern const LimiterProgram kFactoryPrograms[kProgramCount];
