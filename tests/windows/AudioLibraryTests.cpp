// The cross-built audio libraries as a Windows program links them: every container and codec qv3 offers writes
// and reads back through libsndfile's wide-character open under a non-ASCII file name, and libebur128 measures
// a known level.
#include <gtest/gtest.h>

#include <windows.h>

#include <ebur128.h>
#include <sndfile.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr double kPi = 3.14159265358979323846;

struct Format {
    const char* name;
    const wchar_t* extension;
    int format;
    bool lossless;
};

const Format kFormats[] = {
    {"Wav16", L"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, true},
    {"Aiff24", L"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, true},
    {"W64Float", L"w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT, true},
    {"Rf64", L"rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, true},
    {"Caf", L"caf", SF_FORMAT_CAF | SF_FORMAT_PCM_24, true},
    {"Flac16", L"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, true},
    {"Flac24", L"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, true},
    {"Vorbis", L"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, false},
    {"Opus", L"opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, false},
};

void PrintTo(const Format& format, std::ostream* out) { *out << format.name; }

// Interleaved stereo sines whose samples every lossless format holds exactly: multiples of 2^16.
std::vector<int> testSignal(sf_count_t frames) {
    std::vector<int> samples(static_cast<size_t>(frames) * kChannels);
    for (size_t i = 0; i < samples.size(); ++i) {
        double phase = 2.0 * kPi * 440.0 * static_cast<double>(i / kChannels) / kRate;
        samples[i] = static_cast<int>(std::lround(16000.0 * std::sin(phase + static_cast<double>(i % kChannels))));
        samples[i] *= 65536;
    }
    return samples;
}

std::wstring temporaryPath(const wchar_t* extension) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + L"\u00C4-\u03A9." + extension;
}

double rms(const std::vector<int>& samples) {
    double sum = 0.0;
    for (int sample : samples) sum += static_cast<double>(sample) * sample;
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

class AudioLibraryTest : public testing::TestWithParam<Format> {};

TEST_P(AudioLibraryTest, WritesAndReadsUnderANonAsciiName) {
    const Format& format = GetParam();
    const std::wstring path = temporaryPath(format.extension);
    const sf_count_t frames = kRate;
    const std::vector<int> written = testSignal(frames);

    SF_INFO info = {};
    info.samplerate = kRate;
    info.channels = kChannels;
    info.format = format.format;
    SNDFILE* file = sf_wchar_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(sf_writef_int(file, written.data(), frames), frames);
    sf_close(file);
    EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);

    SF_INFO readInfo = {};
    file = sf_wchar_open(path.c_str(), SFM_READ, &readInfo);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(readInfo.format, format.format);
    EXPECT_EQ(readInfo.channels, kChannels);
    EXPECT_EQ(readInfo.samplerate, kRate);
    EXPECT_EQ(readInfo.frames, frames);
    std::vector<int> read(written.size());
    EXPECT_EQ(sf_readf_int(file, read.data(), frames), frames);
    sf_close(file);
    EXPECT_TRUE(DeleteFileW(path.c_str()));

    if (format.lossless) {
        EXPECT_EQ(read, written);
    } else {
        EXPECT_NEAR(rms(read) / rms(written), 1.0, 0.1);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, AudioLibraryTest, testing::ValuesIn(kFormats),
                         [](const testing::TestParamInfo<Format>& format) { return std::string(format.param.name); });

TEST(LoudnessMeter, MeasuresAOneKilohertzSineAtMinusTwentyDecibelsInBothChannels) {
    const size_t frames = 5 * kRate;
    std::vector<double> samples(frames * kChannels);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = 0.1 * std::sin(2.0 * kPi * 1000.0 * static_cast<double>(i / kChannels) / kRate);
    }
    ebur128_state* meter = ebur128_init(kChannels, kRate, EBUR128_MODE_I);
    ASSERT_NE(meter, nullptr);
    ASSERT_EQ(ebur128_add_frames_double(meter, samples.data(), frames), EBUR128_SUCCESS);
    double loudness = 0.0;
    ASSERT_EQ(ebur128_loudness_global(meter, &loudness), EBUR128_SUCCESS);
    ebur128_destroy(&meter);
    EXPECT_NEAR(loudness, -20.0, 0.05);
}

} // namespace
