// One slot of the program bank: the six parameter values (with one release value per mode) and its name.
#pragma once

#include <cstddef>

constexpr std::size_t kProgramNameSize = 24; // at most 23 characters and the terminator
constexpr int kProgramCount = 31;

struct LimiterProgram {
    float relSwitch;
    float manualRelease;
    float autoRelease;
    float makeup;
    float ceiling;
    float monitor;
    float clipSwitch;
    char name[kProgramNameSize];
};

// The factory bank, in index order.
extern const LimiterProgram kFactoryPrograms[kProgramCount];
