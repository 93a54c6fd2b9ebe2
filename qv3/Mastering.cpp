#include "Mastering.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace {
constexpr int kMostGainSteps = 480;      // +48 dB, the largest Makeup
constexpr int kLeastGainSteps = -960;    // the host turns a file down by up to 96 dB
constexpr int kLeastCeilingSteps = -600; // -6 dB, the lowest Ceiling
constexpr double kAimLu = 0.05;          // half a gain step: always reachable where loudness follows gain
constexpr int kMostLoudnessPasses = 40;  // far more than a monotonic curve needs
constexpr double kToleranceLu = 0.1;
constexpr int kMostCandidates = 12;
// How fast the true peak's height above the loudness falls with more gain (dB per dB): a first guess, and the
// least a measurement is trusted with so that one jump stays modest.
constexpr double kAssumedCrestSlope = 0.5;
constexpr double kLeastCrestSlope = 0.1;
constexpr double kLargestGainJumpDb = 3.0;
constexpr double kLeastCrestChangeDb =
    0.01; // less than this from more gain, twice running: nothing more to win
constexpr int kMostStalls = 2;
constexpr double kSilentJumpSteps = 100; // where a pass measures nothing (all gated), try 10 dB more
// Room left between a search pass's crest and the wanted one for the rounding and dither of the stored
// samples, which the search passes leave out.
constexpr double kCrestMarginDb = 0.02;
// Where the true peak binds: the rate of decline of the crest with gain (dB per dB) the first gain tried
// assumes, slower than most material's, and how far under the crest wanted later gains aim.
constexpr double kFirstCrestSlope = 0.35;
constexpr double kCrestAimDb = 0.1;
constexpr int kMostPeakPasses = 12;
// How far under full scale the input's true peak must stay, moved by the gain, for the limiter to leave it
// alone (it acts on samples from just under full scale).
constexpr double kUntouchedHeadroomDb = -0.1;

struct Probe {
    int steps;
    double lufs;
    double truePeakDb; // NaN when the pass did not measure it
};

// The next gain to try from the probes so far: inside the bracket by interpolation (or halving, when the
// last probes kept landing on one side), outside it by the slope of the last two probes.
int nextGain(const std::optional<Probe>& below, const std::optional<Probe>& above, const Probe& latest,
             const std::optional<Probe>& previous, double wanted, bool halve) {
    if (below && above) {
        if (halve || !std::isfinite(below->lufs)) return below->steps + (above->steps - below->steps) / 2;
        const double part = (wanted - below->lufs) / (above->lufs - below->lufs);
        const int steps = below->steps + static_cast<int>(std::lround(part * (above->steps - below->steps)));
        return std::clamp(steps, below->steps + 1, above->steps - 1);
    }
    if (!std::isfinite(latest.lufs)) return latest.steps + static_cast<int>(kSilentJumpSteps);
    double slope = 1.0; // LU per dB: exact below the limiting, smaller as the limiter works harder
    if (previous && std::isfinite(previous->lufs) && previous->steps != latest.steps)
        slope =
            std::clamp((latest.lufs - previous->lufs) / ((latest.steps - previous->steps) / 10.0), 0.2, 1.0);
    const int jump =
        std::max(1, static_cast<int>(std::lround(std::fabs(wanted - latest.lufs) / slope * 10.0)));
    return latest.steps + (latest.lufs < wanted ? jump : -jump);
}

// The drives a pass tries around `center`: the center first, then on both sides at `spacing`, all inside the
// bracket found so far (exclusive) and the gain's range.
std::vector<int> spread(int center, int spacing, int width, const std::optional<Probe>& below,
                        const std::optional<Probe>& above) {
    const int low = below ? below->steps + 1 : kLeastGainSteps;
    const int high = above ? above->steps - 1 : kMostGainSteps;
    std::vector<int> drives;
    for (int k = 0; static_cast<int>(drives.size()) < width && k < 2 * width + 1; ++k) {
        const int offset = (k + 1) / 2 * spacing * (k % 2 ? 1 : -1);
        const int steps = std::clamp(center + offset, low, high);
        if (std::find(drives.begin(), drives.end(), steps) == drives.end()) drives.push_back(steps);
    }
    return drives;
}

Probe findGain(const LoudnessTarget& target, int guess, int ceilingSteps, const DrivePasses& passes,
               int& passCount) {
    std::optional<Probe> below;
    std::optional<Probe> above;
    std::optional<Probe> previous;
    int lastMovedSide = 0; // the side of the bracket the last pass narrowed alone: -1 below, 1 above
    const int width = std::max(1, passes.probesPerPass);
    // The limiter only takes loudness away, so the gain wanted is seldom under the first guess: the first
    // pass tries more gain besides.
    std::vector<int> drives = spread(std::clamp(guess, kLeastGainSteps, kMostGainSteps), 0, 1, below, above);
    for (int more = 1; static_cast<int>(drives.size()) < width && drives.back() < kMostGainSteps; more *= 2)
        drives.push_back(std::min(kMostGainSteps, drives.front() + 15 * more));
    for (int pass = 0; pass < kMostLoudnessPasses; ++pass) {
        std::vector<Drive> tried;
        for (int steps : drives)
            tried.push_back(Drive{steps, ceilingSteps});
        const std::vector<PassLevels> measured = passes.probe(tried, false);
        ++passCount;
        const std::pair<int, int> bracketBefore{below ? below->steps : kLeastGainSteps - 1,
                                                above ? above->steps : kMostGainSteps + 1};
        std::optional<Probe> closest;
        for (std::size_t k = 0; k < drives.size(); ++k) {
            const Probe probe{drives[k], measured[k].loudness, measured[k].truePeakDb};
            const bool low = !(probe.lufs >= target.lufs);
            if (std::fabs(probe.lufs - target.lufs) <= kAimLu &&
                (!closest || std::fabs(probe.lufs - target.lufs) < std::fabs(closest->lufs - target.lufs)))
                closest = probe;
            if (low && probe.steps == kMostGainSteps) {
                // Often the loudness has long stopped rising, the limiter holding it down: say where.
                char reached[96];
                std::snprintf(reached, sizeof reached, "; at +48 dB these settings reach %.1f LUFS",
                              probe.lufs);
                throw UnreachableTarget("target " + describeTarget(target) +
                                        " is out of reach: it needs more than +48 dB of Makeup" +
                                        (std::isfinite(probe.lufs) ? reached : ""));
            }
            if (!low && probe.steps == kLeastGainSteps)
                throw UnreachableTarget(
                    "target " + describeTarget(target) +
                    " is out of reach: the input would have to be turned down by more than 96 dB");
            if (low && (!below || probe.steps > below->steps)) below = probe;
            if (!low && (!above || probe.steps < above->steps)) above = probe;
        }
        if (closest) return *closest;
        if (below && above && above->steps - below->steps <= 1)
            return target.lufs - below->lufs <= above->lufs - target.lufs ? *below : *above;
        // The probe nearest the target steers the next pass; when pass after pass narrows the bracket from
        // one side only, interpolation is crawling, so halve instead.
        const Probe latest = below ? *below : *above;
        const bool movedBelow = below && below->steps != bracketBefore.first;
        const bool movedAbove = above && above->steps != bracketBefore.second;
        const int movedSide = below && above && movedBelow != movedAbove ? (movedBelow ? -1 : 1) : 0;
        const bool repeatedSide = movedSide != 0 && movedSide == lastMovedSide;
        lastMovedSide = movedSide;
        const int center = std::clamp(nextGain(below, above, latest, previous, target.lufs, repeatedSide),
                                      kLeastGainSteps, kMostGainSteps);
        const int spacing = below && above ? std::max(1, (above->steps - below->steps) / (4 * width))
                                           : std::max(2, std::abs(center - latest.steps) / 4);
        previous = latest;
        drives = spread(center, spacing, width, below, above);
    }
    throw UnreachableTarget("target " + describeTarget(target) +
                            " is out of reach: the loudness does not settle");
}

int stepsOf(double decibels) { return static_cast<int>(std::lround(decibels * 10.0)); }
// Gain steps for at least `decibels` more.
int stepsFor(double decibels) { return static_cast<int>(std::ceil(decibels * 10.0 - 1e-9)); }

// The loudest output within the true-peak limit, raised by what a render measured at a Ceiling, if a lower
// Ceiling in its range can take that render's true peak down to the limit: the guidance a refusal gives.
void noteLoudest(double& loudestWithinLimit, const PassLevels& levels, int ceilingSteps, double truePeakDb) {
    const double over = std::max(0.0, levels.truePeakDb - truePeakDb);
    if (ceilingSteps - over * 100.0 >= kLeastCeilingSteps)
        loudestWithinLimit = std::max(loudestWithinLimit, levels.loudness - over);
}

// When the input's true peak sits too high above its loudness: the least gain tried whose output is loud
// enough for the target and whose true peak sits low enough under its loudness, so that a lower Ceiling
// brings both to the target. More gain into the limiter lowers the true peak's height above the loudness
// once the input's peaks reach full scale; the first gain tried is where the input's excess height would be
// gone at a rate of decline that most material beats, and each later one goes on at the rates measured from
// the gain before (or the input). One gain per pass, its true peak measured on a second worker: the first
// that fits is the last. Every probe raises `loudestWithinLimit`; `outOfReach` makes the refusal.
Probe findPeakGain(const LoudnessTarget& target, const PassLevels& input, int guess, int ceilingSteps,
                   const DrivePasses& passes, int& passCount, double& loudestWithinLimit,
                   const std::function<UnreachableTarget(const std::string&)>& outOfReach) {
    const double wantedCrest = target.truePeakDb - target.lufs - kCrestMarginDb;
    // The most the loudness may exceed the target: what a Ceiling down to the lowest takes away.
    const double mostExcessLu = (ceilingSteps - kLeastCeilingSteps) / 100.0;
    enum class Fit { MoreGain, Fits, TooLoud };
    const auto fitOf = [&](const Probe& probe) {
        if (!(probe.lufs >= target.lufs - kAimLu) || !(probe.truePeakDb - probe.lufs <= wantedCrest))
            return Fit::MoreGain;
        return probe.lufs - target.lufs > mostExcessLu ? Fit::TooLoud : Fit::Fits;
    };
    const auto clampGain = [](int steps) { return std::clamp(steps, kLeastGainSteps, kMostGainSteps); };
    // One pass over the file with each of the gains, measuring the true peak.
    const auto measure = [&](const std::vector<int>& gains) {
        std::vector<Drive> drives;
        for (int steps : gains)
            drives.push_back(Drive{steps, ceilingSteps});
        const std::vector<PassLevels> measured = passes.probe(drives, true);
        ++passCount;
        std::vector<Probe> probes;
        for (std::size_t k = 0; k < gains.size(); ++k) {
            noteLoudest(loudestWithinLimit, measured[k], ceilingSteps, target.truePeakDb);
            probes.push_back(Probe{gains[k], measured[k].loudness, measured[k].truePeakDb});
        }
        return probes;
    };
    // The input with the gain that brings its true peak to full scale, where limiting starts: what the rates
    // are first measured from.
    const int onset = static_cast<int>(std::ceil(-input.truePeakDb * 10.0));
    const double atOnset = onset / 10.0 + ceilingSteps / 100.0;
    Probe belowTop{onset, input.loudness + atOnset, input.truePeakDb + atOnset};
    const double excess = std::max(0.0, input.truePeakDb - input.loudness - wantedCrest);
    int next = clampGain(std::max(guess, onset + stepsFor(excess / kFirstCrestSlope)));
    std::optional<Probe> moreGain; // the most gain tried that needs more
    std::optional<Probe> tooLoud;  // the least gain tried that is too loud for the Ceiling to bring down
    // A refusal names the loudest output within the limit the search saw. Where every gain tried was too
    // loud for a Ceiling in its range to take the true peak down to the limit, one more pass tries less: as
    // much less as the loudness would fall at the full rate, and three times that for a slower one.
    const auto refuse = [&](const std::string& reason) {
        if (!std::isfinite(loudestWithinLimit) && moreGain && std::isfinite(moreGain->lufs)) {
            const double reachable =
                target.truePeakDb - (moreGain->truePeakDb - moreGain->lufs) + mostExcessLu / 2;
            const int less = std::max(1, stepsOf(moreGain->lufs - reachable));
            measure({clampGain(moreGain->steps - less), clampGain(moreGain->steps - 3 * less)});
        }
        return outOfReach(reason);
    };
    int stalls = 0;
    for (int pass = 0; pass < kMostPeakPasses; ++pass) {
        const Probe probe = measure({next}).front();
        const Fit fit = fitOf(probe);
        if (fit == Fit::Fits) return probe;
        if (fit == Fit::TooLoud) {
            if (!tooLoud || probe.steps < tooLoud->steps) tooLoud = probe;
        } else if (!moreGain || probe.steps > moreGain->steps) {
            // Driven into full limiting the output no longer changes with gain, and neither does the crest.
            if (moreGain && probe.lufs >= target.lufs - kAimLu) {
                const double fallen = moreGain->truePeakDb - moreGain->lufs - (probe.truePeakDb - probe.lufs);
                stalls = fallen < kLeastCrestChangeDb ? stalls + 1 : 0;
                if (stalls >= kMostStalls) {
                    char reason[96];
                    std::snprintf(reason, sizeof reason,
                                  "no Makeup brings the true peak within %.1f dB of the loudness",
                                  wantedCrest + kCrestMarginDb);
                    throw refuse(reason);
                }
            }
            if (moreGain) belowTop = *moreGain;
            moreGain = probe;
        }
        if (tooLoud) {
            // Between a gain whose true peak sits too high and one too loud for the lowest Ceiling: halfway,
            // until no gain is left between them.
            const int floor = moreGain ? moreGain->steps : clampGain(guess - 1);
            if (tooLoud->steps - floor <= 1) throw refuse("it needs a Ceiling below -6 dB");
            next = floor + (tooLoud->steps - floor) / 2;
            continue;
        }
        const Probe& top = *moreGain;
        const bool quiet = !(top.lufs >= target.lufs - kAimLu);
        if (top.steps == kMostGainSteps) {
            if (!quiet)
                throw refuse("it needs more than +48 dB of Makeup to keep the true peak under the limit");
            char reason[96];
            std::snprintf(reason, sizeof reason,
                          "it needs more than +48 dB of Makeup; at +48 dB these settings reach %.1f LUFS",
                          top.lufs);
            throw refuse(std::isfinite(top.lufs) ? reason : "it needs more than +48 dB of Makeup");
        }
        if (!std::isfinite(top.lufs)) {
            next = clampGain(top.steps + static_cast<int>(kSilentJumpSteps));
            continue;
        }
        // On at the rates from the gain before, aiming a little under the crest wanted: the crest falls more
        // slowly the harder the limiter works, so the rate so far overstates the one ahead.
        const double crest = top.truePeakDb - top.lufs;
        double crestSlope = kFirstCrestSlope;
        double loudnessSlope = 1.0;
        if (belowTop.steps < top.steps) {
            const double spanDb = (top.steps - belowTop.steps) / 10.0;
            crestSlope =
                std::clamp((belowTop.truePeakDb - belowTop.lufs - crest) / spanDb, kLeastCrestSlope, 1.0);
            loudnessSlope = std::clamp((top.lufs - belowTop.lufs) / spanDb, 0.2, 1.0);
        }
        const double moreDb = std::max(std::max(0.0, crest - wantedCrest + kCrestAimDb) / crestSlope,
                                       std::max(0.0, target.lufs - top.lufs) / loudnessSlope);
        next = clampGain(top.steps + std::max(1, stepsFor(moreDb)));
    }
    throw refuse("the true peak does not settle under the limit");
}
} // namespace

std::string describeTarget(const LoudnessTarget& target) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f LUFS, true peak at most %.1f dBTP", target.lufs,
                  target.truePeakDb);
    return text;
}

DriveFound findCeiling(double truePeakDb, double ceilingDb,
                       const std::function<PassLevels(const Drive&)>& candidate) {
    DriveFound found;
    found.drive =
        Drive{0, std::clamp(static_cast<int>(std::lround(ceilingDb * 100.0)), kLeastCeilingSteps, 0), false};
    for (int round = 0; round < kMostCandidates; ++round) {
        const PassLevels levels = candidate(found.drive);
        ++found.passes;
        if (levels.truePeakDb <= truePeakDb) return found;
        const int lower = static_cast<int>(std::floor((truePeakDb - levels.truePeakDb) * 100.0));
        found.drive.ceilingSteps += std::min(-1, lower);
        if (found.drive.ceilingSteps < kLeastCeilingSteps) {
            char reason[96];
            std::snprintf(reason, sizeof reason,
                          "true peak at most %.1f dBTP is out of reach: it needs a Ceiling below -6 dB",
                          truePeakDb);
            throw UnreachableTarget(reason);
        }
    }
    throw UnreachableTarget("the true peak does not settle under the limit");
}

DriveFound findDrive(const LoudnessTarget& target, const PassLevels& input, double ceilingDb,
                     const DrivePasses& passes) {
    if (!std::isfinite(input.loudness))
        throw UnreachableTarget("target " + describeTarget(target) +
                                " is out of reach: the input is silent or too short to measure");
    // The loudest output any candidate showed within the true-peak limit, a lower Ceiling taking its true
    // peak down to the limit where the Ceiling's range allows: the guidance a refusal gives.
    double loudestWithinLimit = -HUGE_VAL;
    const auto outOfReach = [&](const std::string& reason) {
        std::string message = "target " + describeTarget(target) + " is out of reach: " + reason;
        if (std::isfinite(loudestWithinLimit)) {
            char loudest[96];
            std::snprintf(loudest, sizeof loudest,
                          "; the loudest these settings reach within %.1f dBTP is %.1f LUFS",
                          target.truePeakDb, loudestWithinLimit);
            message += loudest;
        }
        return UnreachableTarget(message, loudestWithinLimit);
    };
    // The Ceiling only scales the limited output, so loudness and true peak move with it dB for dB: what one
    // pass measures at one Ceiling tells them at any other. What more gain changes is the true peak's height
    // above the loudness, which falls as the limiter works harder.
    const double wantedCrest = target.truePeakDb - target.lufs;
    const int givenCeiling =
        std::clamp(static_cast<int>(std::lround(ceilingDb * 100.0)), kLeastCeilingSteps, 0);
    const auto ceilingFor = [&](double loudnessAtNoCeiling) {
        const int steps =
            std::min(givenCeiling, static_cast<int>(std::floor((target.lufs - loudnessAtNoCeiling) * 100.0)));
        if (steps < kLeastCeilingSteps) throw outOfReach("it needs a Ceiling below -6 dB");
        return steps;
    };

    DriveFound found;
    const int guess =
        std::clamp(static_cast<int>(std::lround((target.lufs - input.loudness - ceilingDb) * 10.0)),
                   kLeastGainSteps, kMostGainSteps);
    // More gain only lowers the true peak's height above the loudness, so when the input's is already low
    // enough the search passes need not measure the true peak (which costs more than the loudness): the
    // candidate will meet it. Otherwise they measure it, and a candidate is written only once a search pass
    // shows a drive that keeps the true peak under the limit.
    bool probePeak = input.truePeakDb - input.loudness > wantedCrest - kCrestMarginDb;
    // Where the gain keeps the input's true peak under full scale, the limiter leaves it alone and the output
    // is the input moved by the gain and the Ceiling: its levels are known without a search pass.
    if (!probePeak && input.truePeakDb + guess / 10.0 <= kUntouchedHeadroomDb) {
        const Drive drive{guess, givenCeiling};
        const PassLevels levels = passes.candidate(drive);
        ++found.passes;
        noteLoudest(loudestWithinLimit, levels, drive.ceilingSteps, target.truePeakDb);
        if (levels.truePeakDb <= target.truePeakDb &&
            std::fabs(levels.loudness - target.lufs) <= kToleranceLu) {
            found.drive = drive;
            return found;
        }
        probePeak = levels.truePeakDb > target.truePeakDb;
    }
    const Probe start = probePeak ? findPeakGain(target, input, guess, givenCeiling, passes, found.passes,
                                                 loudestWithinLimit, outOfReach)
                                  : findGain(target, guess, givenCeiling, passes, found.passes);
    // A gain found for its true peak is loud enough: the Ceiling brings it down to the target.
    Drive drive{start.steps, probePeak ? ceilingFor(start.lufs - givenCeiling / 100.0) : givenCeiling};
    // What the last search pass measured at this gain, moved to the drive's Ceiling.
    std::optional<PassLevels> probed;
    if (std::isfinite(start.truePeakDb)) probed = PassLevels{start.lufs, start.truePeakDb};
    std::optional<std::pair<int, double>> previousCrest; // gain steps and the crest measured there
    int stalls = 0;
    for (int round = 0; round < kMostCandidates; ++round) {
        const double shift = (drive.ceilingSteps - givenCeiling) / 100.0;
        const bool crestTooHigh =
            probed && probed->truePeakDb - probed->loudness > wantedCrest + kCrestMarginDb;
        PassLevels levels;
        if (crestTooHigh) {
            levels = PassLevels{probed->loudness + shift, probed->truePeakDb + shift};
        } else {
            levels = passes.candidate(drive);
            ++found.passes;
            probePeak = probePeak || levels.truePeakDb > target.truePeakDb;
        }
        noteLoudest(loudestWithinLimit, levels, drive.ceilingSteps, target.truePeakDb);
        const bool peakMet = levels.truePeakDb <= target.truePeakDb;
        if (!crestTooHigh && peakMet && std::fabs(levels.loudness - target.lufs) <= kToleranceLu) {
            found.drive = drive;
            return found;
        }
        const double crest = levels.truePeakDb - levels.loudness;
        if (crest <= wantedCrest) {
            // This gain will do: the Ceiling that meets the loudness keeps the true peak under the limit too.
            int ceiling = ceilingFor(levels.loudness - drive.ceilingDb());
            if (ceiling >= drive.ceilingSteps && !peakMet)
                ceiling = drive.ceilingSteps - 1; // rounding of the stored samples
            if (ceiling < kLeastCeilingSteps) throw outOfReach("it needs a Ceiling below -6 dB");
            if (ceiling != drive.ceilingSteps) {
                drive.ceilingSteps = ceiling;
                continue;
            }
        }
        if (drive.gainSteps == kMostGainSteps)
            throw outOfReach("it needs more than +48 dB of Makeup to keep the true peak under the limit");
        double slope = kAssumedCrestSlope;
        if (previousCrest && previousCrest->first != drive.gainSteps) {
            // Driven into full limiting the output no longer changes with gain, and neither does the crest.
            stalls = previousCrest->second - crest < kLeastCrestChangeDb ? stalls + 1 : 0;
            if (stalls >= kMostStalls) {
                char reason[96];
                std::snprintf(reason, sizeof reason,
                              "no Makeup brings the true peak within %.1f dB of the loudness", wantedCrest);
                throw outOfReach(reason);
            }
            slope = std::clamp((previousCrest->second - crest) /
                                   ((drive.gainSteps - previousCrest->first) / 10.0),
                               kLeastCrestSlope, 1.0);
        }
        previousCrest = std::make_pair(drive.gainSteps, crest);
        const double jumpDb = std::clamp((crest - wantedCrest) / slope, 0.1, kLargestGainJumpDb);
        const int jump = std::max(1, static_cast<int>(std::lround(jumpDb * 10.0)));
        // Several gains in one pass, the jump and its multiples: the least that keeps the crest low enough
        // is taken, or else the most.
        std::vector<Drive> tried;
        for (int k = 1; k <= std::max(1, passes.probesPerPass); ++k) {
            const int gain = std::min(kMostGainSteps, drive.gainSteps + k * jump);
            if (!tried.empty() && tried.back().gainSteps == gain) break;
            tried.push_back(Drive{gain, givenCeiling});
        }
        const std::vector<PassLevels> measured = passes.probe(tried, probePeak);
        ++found.passes;
        std::size_t chosen = 0;
        while (chosen + 1 < tried.size() &&
               !(measured[chosen].truePeakDb - measured[chosen].loudness <= wantedCrest - kCrestMarginDb))
            ++chosen;
        probed.reset();
        if (probePeak) probed = measured[chosen];
        drive = Drive{tried[chosen].gainSteps, ceilingFor(measured[chosen].loudness - givenCeiling / 100.0)};
    }
    throw outOfReach("the true peak does not settle under the limit");
}
