// The target search's decisions, with measurement passes stubbed by a plain model of the limiter: loudness
// follows gain and Ceiling dB for dB, and the true peak sits 3 dB above the loudness.
#include "Mastering.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {
constexpr double kInputLoudness = -20.0;
constexpr double kModelCrest = 3.0;

double modelLoudness(const Drive& drive) {
    return kInputLoudness + drive.gainSteps / 10.0 + drive.ceilingDb();
}

// Search passes of the model, with a true peak `crest` dB above the loudness.
DrivePasses::Probe modelProbe(double crest) {
    return [crest](const std::vector<Drive>& drives, bool) {
        std::vector<PassLevels> levels;
        for (const Drive& drive : drives)
            levels.push_back({modelLoudness(drive), modelLoudness(drive) + crest});
        return levels;
    };
}

struct FirstCandidate {
    const char* name;
    PassLevels measured; // what the first candidate pass measures; later ones follow the model
    bool acceptedAtOnce;
};

TEST(TargetSearch, AcceptsACandidateWithinTheLimitAndToleranceAndNothingElse) {
    const LoudnessTarget target{-14.0, -1.0};
    const FirstCandidate cases[] = {
        {"true peak exactly at the limit", {-14.0, -1.0}, true},
        {"true peak a hundredth over the limit", {-14.0, -0.99}, false},
        {"loudness 0.09 LU under", {-14.09, -3.0}, true},
        {"loudness 0.09 LU over", {-13.91, -3.0}, true},
        {"loudness 0.5 LU over", {-13.5, -3.0}, false},
        {"loudness 0.5 LU under", {-14.5, -3.0}, false},
    };
    for (const FirstCandidate& row : cases) {
        SCOPED_TRACE(row.name);
        std::optional<Drive> first;
        PassLevels last{};
        int candidates = 0;
        const DrivePasses passes{modelProbe(kModelCrest), [&](const Drive& drive) {
                                     ++candidates;
                                     if (!first) {
                                         first = drive;
                                         last = row.measured;
                                     } else {
                                         last = {modelLoudness(drive), modelLoudness(drive) + kModelCrest};
                                     }
                                     return last;
                                 }};
        const DriveFound found =
            findDrive(target, PassLevels{kInputLoudness, kInputLoudness + kModelCrest}, -0.1, passes);
        // Whatever it ends with was measured within the limit and the tolerance.
        EXPECT_LE(last.truePeakDb, target.truePeakDb);
        EXPECT_LE(std::fabs(last.loudness - target.lufs), 0.1 + 1e-9);
        if (row.acceptedAtOnce) {
            EXPECT_EQ(candidates, 1);
            EXPECT_EQ(found.passes, 2); // one loudness pass meets the loudness, one candidate confirms it
            EXPECT_EQ(found.drive.gainSteps, first->gainSteps);
            EXPECT_EQ(found.drive.ceilingSteps, first->ceilingSteps);
        } else {
            EXPECT_GT(candidates, 1);
        }
    }
}

TEST(TargetSearch, ARefusalSaysTheLoudestLoudnessWithinTheLimit) {
    // The true peak stays 16 dB over the loudness however hard the limiter works: -17 LUFS at -1 dBTP at
    // most.
    const DrivePasses passes{modelProbe(16.0), [](const Drive& drive) {
                                 return PassLevels{modelLoudness(drive), modelLoudness(drive) + 16.0};
                             }};
    try {
        findDrive(LoudnessTarget{-14.0, -1.0}, PassLevels{kInputLoudness, kInputLoudness + 16.0}, 0.0,
                  passes);
        ADD_FAILURE() << "the target was met";
    } catch (const UnreachableTarget& refusal) {
        EXPECT_NE(std::string(refusal.what())
                      .find("the loudest these settings reach within -1.0 dBTP is -17.0 LUFS"),
                  std::string::npos)
            << refusal.what();
    }
}

} // namespace
