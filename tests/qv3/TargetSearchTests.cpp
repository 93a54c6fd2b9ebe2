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
            // The gain leaves the input's true peak under full scale: the input's levels tell the output's,
            // and the candidate is the only render.
            EXPECT_EQ(candidates, 1);
            EXPECT_EQ(found.passes, 1);
            EXPECT_EQ(found.drive.gainSteps, first->gainSteps);
            EXPECT_EQ(found.drive.ceilingSteps, first->ceilingSteps);
        } else {
            EXPECT_GT(candidates, 1);
        }
    }
}

TEST(TargetSearch, WhereTheTruePeakBindsOneSearchRenderFindsTheGainAtTheRatesOfMostMaterial) {
    // A limiter holding the true peak at full scale once the input's (-4 dBTP) gets there, the loudness
    // rising at `rate` LU per dB of gain beyond: at -14 LUFS within -1 dBTP the crest must fall from 16 to 13
    // dB, so the least gain that does is 4 + 3 / rate dB.
    const LoudnessTarget target{-14.0, -1.0};
    const PassLevels input{kInputLoudness, kInputLoudness + 16.0};
    const struct {
        double rate;
        int passes; // search passes and candidates
    } cases[] = {{1.0, 3}, {0.5, 2}, {0.4, 2}, {0.35, 2}, {0.3, 3}, {0.2, 3}, {0.1, 3}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.rate);
        const auto levels = [&](const Drive& drive) {
            const double gain = drive.gainSteps / 10.0;
            const double loudness = kInputLoudness + std::min(gain, 4.0) +
                                    row.rate * std::max(0.0, gain - 4.0) + drive.ceilingDb();
            return PassLevels{loudness, -4.0 + std::min(gain, 4.0) + drive.ceilingDb()};
        };
        int truePeakPasses = 0;
        const DrivePasses passes{[&](const std::vector<Drive>& drives, bool truePeak) {
                                     truePeakPasses += truePeak;
                                     std::vector<PassLevels> measured;
                                     for (const Drive& drive : drives)
                                         measured.push_back(levels(drive));
                                     return measured;
                                 },
                                 levels, 2};
        const DriveFound found = findDrive(target, input, 0.0, passes);
        const PassLevels output = levels(found.drive);
        EXPECT_LE(output.truePeakDb, target.truePeakDb);
        EXPECT_NEAR(output.loudness, target.lufs, 0.1);
        EXPECT_EQ(found.passes, row.passes);
        EXPECT_EQ(truePeakPasses, row.passes - 1);
        // No more gain than the first render's rate asks for, or the true rate with the 0.1 dB later renders
        // aim under the crest (and the 0.02 dB the search keeps for the rounding of the stored samples).
        EXPECT_LE(found.drive.gainSteps / 10.0, 4.0 + std::max(3.02 / 0.35, 3.12 / row.rate) + 0.1);
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
