// The search for the settings that bring a file (or an album of files) to a loudness target with its true
// peak under a limit. The limiter can only raise loudness, so a file already louder than the target is turned
// down before the plug-in by the host.
#pragma once

#include <cmath>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

struct LoudnessTarget {
    double lufs = 0.0;        // integrated loudness wanted
    double truePeakDb = -1.0; // highest true peak allowed, dBTP
};

// Gain before the limiter in tenths of a dB (the Makeup's display step) and the plug-in's Ceiling in
// hundredths. Gain above zero is the plug-in's Makeup; gain below zero is the host's input gain.
struct Drive {
    int gainSteps = 0;
    int ceilingSteps = 0;
    bool setsMakeup =
        true; // false: the Makeup stays as the command line set it, and only the Ceiling is chosen

    double makeupDb() const { return gainSteps > 0 ? gainSteps / 10.0 : 0.0; }
    double inputGainDb() const { return gainSteps < 0 ? gainSteps / 10.0 : 0.0; }
    double ceilingDb() const { return ceilingSteps / 100.0; }
};

struct PassLevels {
    double loudness;   // LUFS
    double truePeakDb; // dBTP
};

// The renders the search asks for. `probe` renders the input once with each of several drives (one pass over
// the file, at little more than the cost of one render on parallel workers) and measures integrated loudness,
// and the true peak only when asked (NaN otherwise: it costs more than the loudness); `candidate` renders
// exactly as the output will be written, writes it and measures it in full (the caller keeps the last
// candidate: the search ends with one that meets the target). `probesPerPass` is how many drives a pass
// renders.
struct DrivePasses {
    using Probe = std::function<std::vector<PassLevels>(const std::vector<Drive>&, bool truePeak)>;
    Probe probe;
    std::function<PassLevels(const Drive&)> candidate;
    int probesPerPass = 1;
};

struct DriveFound {
    Drive drive;
    int passes = 0; // over the file: a loudness pass of several drives counts once
};

// A target no setting reaches; the message is one line.
struct UnreachableTarget : std::runtime_error {
    explicit UnreachableTarget(const std::string& message, double loudest = -HUGE_VAL)
        : std::runtime_error(message), loudestWithinLimit(loudest) {}
    double loudestWithinLimit; // LUFS, the loudest the search saw within the true-peak limit; -inf if none
};

// Finds the drive. The input's levels (at no gain) give the first guess, and where that gain leaves the
// input's true peak under full scale, the limiter has nothing to do and the candidate is the only render.
// Where the input's true peak sits no higher above its loudness than the target allows, loudness rises
// monotonically with the gain for a fixed Ceiling, so the gain is bracketed and narrowed at the Ceiling
// given by loudness-only passes. Otherwise the search passes measure the true peak too and look for the
// least gain whose true peak sits low enough under the loudness, and the Ceiling comes down to meet the
// loudness exactly. A candidate over the limit after all (rounding, dither) sends the gain up or the Ceiling
// down. Throws UnreachableTarget when more than the largest Makeup or a Ceiling below the lowest is needed.
DriveFound findDrive(const LoudnessTarget& target, const PassLevels& input, double ceilingDb,
                     const DrivePasses& passes);

// The highest Ceiling, at or below `ceilingDb`, whose output keeps its true peak at or below `truePeakDb`,
// with the Makeup left alone: the Ceiling scales the output, so one candidate pass tells how far to lower it,
// and more only correct the rounding of the stored samples. Throws UnreachableTarget when it needs a Ceiling
// below the lowest.
DriveFound findCeiling(double truePeakDb, double ceilingDb,
                       const std::function<PassLevels(const Drive&)>& candidate);

// "-14.0 LUFS, true peak at most -1.0 dBTP"
std::string describeTarget(const LoudnessTarget& target);
