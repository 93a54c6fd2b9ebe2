// What the CLAP and VST3 fuzz targets share: the reader of the input grammar, a state stream that moves data
// in small pieces, an audio block made from input bytes with the check every output must pass, and the state
// checks a host relies on.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
}

// Values a careless host may send where a parameter value belongs.
constexpr double kSpecialValues[16] = {std::numeric_limits<double>::quiet_NaN(),
                                       std::numeric_limits<double>::infinity(),
                                       -std::numeric_limits<double>::infinity(),
                                       -0.0,
                                       1e300,
                                       -1e300,
                                       0.5,
                                       1.0,
                                       4.0,
                                       -1.0,
                                       1e-310,
                                       3.4e38,
                                       0.49999999,
                                       2.5,
                                       44100.0,
                                       1e6};

// Reads past the end answer 0, so every input is a complete sequence of commands.
class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return position_ >= size_; }
    std::uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
    std::uint32_t word() { return byte() | byte() << 8 | static_cast<std::uint32_t>(byte()) << 16; }
    // A special value for a tag below 16, otherwise a byte scaled into `low` + 0..`span`.
    double value(double low, double span) {
        const std::uint8_t tag = byte();
        if (tag < 16) return kSpecialValues[tag];
        return low + span * byte() / 255.0;
    }
    std::vector<std::uint8_t> bytes(std::size_t count) {
        std::vector<std::uint8_t> result;
        while (count-- > 0 && !done())
            result.push_back(byte());
        return result;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A state stream that moves at most `chunk` bytes a call, as hosts that read and write in pieces do.
struct ChunkedBytes {
    std::vector<std::uint8_t> data;
    std::size_t position = 0;
    std::size_t chunk = 1;

    std::size_t read(void* buffer, std::uint64_t size) {
        const std::size_t count =
            std::min<std::size_t>({static_cast<std::size_t>(size), chunk, data.size() - position});
        if (count > 0) std::memcpy(buffer, data.data() + position, count);
        position += count;
        return count;
    }
    std::size_t write(const void* buffer, std::uint64_t size) {
        const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(size), chunk);
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        data.insert(data.end(), bytes, bytes + count);
        return count;
    }
};

// One block of audio from input bytes, in place or not; outputs start as a value no limiter writes.
class FuzzBlock {
  public:
    FuzzBlock(FuzzInput& input, std::size_t channels, std::size_t frames, float& inputPeak)
        : frames_(frames), in_(channels, std::vector<float>(frames)),
          out_(channels, std::vector<float>(frames, 7.0f)) {
        const bool inPlace = input.byte() & 1;
        for (std::vector<float>& channel : in_)
            for (float& sample : channel) {
                sample = (static_cast<float>(input.byte()) - 128.0f) / 32.0f;
                inputPeak = std::max(inputPeak, std::fabs(sample));
            }
        for (std::size_t c = 0; c < channels; ++c) {
            inputs_.push_back(in_[c].data());
            outputs_.push_back(inPlace ? in_[c].data() : out_[c].data());
        }
    }
    float** inputs() { return inputs_.data(); }
    float** outputs() { return outputs_.data(); }

    // Finite and never above the larger of the ceiling's clamp and the input's own peak so far: the
    // monitor's bypass passes input of earlier blocks too.
    void checkOutput(float inputPeak) const {
        const double bound = std::max(0.999999, static_cast<double>(inputPeak));
        for (const float* channel : outputs_)
            for (std::size_t i = 0; i < frames_; ++i)
                if (!(std::fabs(static_cast<double>(channel[i])) <= bound))
                    fail("output not finite or above its bound");
    }

  private:
    std::size_t frames_;
    std::vector<std::vector<float>> in_, out_;
    std::vector<float*> inputs_, outputs_;
};

// A saved state with a few bits flipped and its end cut off.
inline std::vector<std::uint8_t> mutated(std::vector<std::uint8_t> bytes, FuzzInput& input) {
    for (std::uint8_t flips = input.byte() % 4; flips > 0 && !bytes.empty(); --flips) {
        const std::size_t at = input.word() % bytes.size();
        bytes[at] ^= static_cast<std::uint8_t>(1 << (input.byte() % 8));
    }
    bytes.resize(bytes.size() - std::min<std::size_t>(bytes.size(), input.byte() % 8));
    return bytes;
}

// Loads a state and checks the answer: a refused state changes nothing, an accepted one reads back (through
// `reload`, in pieces of two) as it was written. `save()` returns the state; `load` and `reload` take a
// ChunkedBytes and answer whether the plug-in accepted it.
template <typename Save, typename Load, typename Reload>
void loadChecked(const Save& save, const Load& load, const Reload& reload, std::vector<std::uint8_t> blob,
                 std::size_t chunk) {
    const std::vector<std::uint8_t> before = save();
    ChunkedBytes bytes{std::move(blob), 0, chunk};
    if (!load(bytes)) {
        if (save() != before) fail("a refused state changed the plug-in");
        return;
    }
    const std::vector<std::uint8_t> loaded = save();
    ChunkedBytes again{loaded, 0, 2};
    if (!reload(again) || save() != loaded) fail("a saved state does not read back");
}

// Runs up to 64 commands of the input on a fresh session.
template <typename Session> int runSession(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    Session session;
    for (int commands = 0; commands < 64 && !input.done(); ++commands)
        session.run(input);
    return 0;
}
