// Runs audio through a plug-in instance block by block, as a host's offline bounce does.
#pragma once

#include "PluginHost.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Where the audio comes from and goes: `read` fills up to `frames` interleaved frames and returns how many
// (0 at the end); `write` takes interleaved frames and may change them (rounding to the file's steps).
struct BlockStream {
    std::function<std::int64_t(float* interleaved, std::int64_t frames)> read;
    std::function<void(std::vector<float>& interleaved, std::int64_t frames)> write;
    // When set, hears the plug-in's gain meter after each block, once that block's output is written.
    std::function<void(double gain)> gainRead = {};
};

struct BlockRenderFigures {
    std::int64_t inputFrames = 0;
    std::int64_t outputFrames = 0;
    std::optional<double> lowestGain; // from the plug-in's gain meter; empty when it does not publish one
    double pluginSeconds = 0.0;       // time spent inside the plug-in
};

// Starts the effect, streams everything `read` gives through it and stops it. Unless `keepLatency`, the
// plug-in's delay is removed so that the output lines up with the input and is as long.
BlockRenderFigures renderBlocks(PluginHost& host, int channels, int sampleRate, std::int32_t blockSize,
                                bool keepLatency, const BlockStream& stream);
