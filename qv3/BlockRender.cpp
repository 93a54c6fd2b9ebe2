#include "BlockRender.h"

#include <algorithm>
#include <chrono>

BlockRenderFigures renderBlocks(PluginHost& host, int channels, int sampleRate, std::int32_t blockSize,
                                bool keepLatency, const BlockStream& stream) {
    using Clock = std::chrono::steady_clock;
    const std::size_t blockSamples = static_cast<std::size_t>(blockSize) * static_cast<std::size_t>(channels);
    std::vector<float> interleavedIn(blockSamples);
    std::vector<float> interleavedOut(blockSamples);
    std::vector<std::vector<float>> planarIn(static_cast<std::size_t>(channels),
                                             std::vector<float>(static_cast<std::size_t>(blockSize)));
    std::vector<std::vector<float>> planarOut(static_cast<std::size_t>(channels),
                                              std::vector<float>(static_cast<std::size_t>(blockSize)));
    std::vector<float*> inputPointers;
    std::vector<float*> outputPointers;
    for (int channel = 0; channel < channels; ++channel) {
        inputPointers.push_back(planarIn[static_cast<std::size_t>(channel)].data());
        outputPointers.push_back(planarOut[static_cast<std::size_t>(channel)].data());
    }

    // Latency compensation: the first `latency` output frames are the delay line's start, and as many silent
    // frames after the input flush its end out.
    const std::int64_t latency = keepLatency ? 0 : std::max<std::int32_t>(0, host.latency());
    std::int64_t toSkip = latency;
    std::int64_t tailLeft = latency;
    BlockRenderFigures figures;
    double lowestGain = 1.0;
    bool gainPublished = true;
    Clock::duration pluginTime{};

    host.start(sampleRate, blockSize);
    for (;;) {
        std::int64_t frames = stream.read(interleavedIn.data(), blockSize);
        if (frames > 0) {
            figures.inputFrames += frames;
        } else if (tailLeft > 0) {
            frames = std::min<std::int64_t>(blockSize, tailLeft);
            tailLeft -= frames;
            std::fill(interleavedIn.begin(), interleavedIn.end(), 0.0f);
        } else {
            break;
        }
        for (std::int64_t frame = 0; frame < frames; ++frame)
            for (int channel = 0; channel < channels; ++channel)
                inputPointers[static_cast<std::size_t>(channel)][frame] =
                    interleavedIn[static_cast<std::size_t>(frame * channels + channel)];

        const auto before = Clock::now();
        host.process(inputPointers.data(), outputPointers.data(), static_cast<std::int32_t>(frames));
        pluginTime += Clock::now() - before;
        const std::optional<double> gain = host.gainMeter();
        if (gain)
            lowestGain = std::min(lowestGain, *gain);
        else
            gainPublished = false;

        const std::int64_t first = std::min(toSkip, frames);
        toSkip -= first;
        const std::int64_t kept = frames - first;
        for (std::int64_t frame = 0; frame < kept; ++frame)
            for (int channel = 0; channel < channels; ++channel)
                interleavedOut[static_cast<std::size_t>(frame * channels + channel)] =
                    outputPointers[static_cast<std::size_t>(channel)][first + frame];
        if (kept > 0) {
            stream.write(interleavedOut, kept);
            figures.outputFrames += kept;
        }
        if (gain && stream.gainRead) stream.gainRead(*gain);
    }
    host.stop();
    if (gainPublished) figures.lowestGain = lowestGain;
    figures.pluginSeconds = std::chrono::duration<double>(pluginTime).count();
    return figures;
}
