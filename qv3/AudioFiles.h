// Audio files through libsndfile: any format it reads, and output written the way the user asked, with the
// samples rounded exactly as the file stores them.
#pragma once

#include <sndfile.h>
#include <soxr.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The sample encodings --format offers.
enum class SampleEncoding { Float, Pcm16, Pcm24 };

// "float", "pcm16" or "pcm24"; empty for any other name.
std::optional<SampleEncoding> sampleEncodingNamed(const std::string& name);

// Headerless samples on standard input or output ("-"), as --raw RATE:CHANNELS:ENCODING describes them:
// interleaved, little-endian, as most players and decoders exchange them.
struct RawLayout {
    int sampleRate = 0;
    int channels = 0;
    SampleEncoding encoding = SampleEncoding::Pcm16;
};

// Reads --raw's "44100:2:pcm16"; throws UsageError for anything else, a rate or channel count left out
// included: a headerless stream cannot tell them.
RawLayout parseRawLayout(const std::string& text);

class SoundFileReader {
  public:
    // Throws std::runtime_error with the reason when the file cannot be opened as audio. `raw` describes
    // standard input ("-") when it holds headerless samples; files always carry their own header.
    explicit SoundFileReader(const std::filesystem::path& path,
                             const std::optional<RawLayout>& raw = std::nullopt);
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    int channels() const { return info_.channels; }
    int sampleRate() const { return info_.samplerate; }
    std::int64_t frames() const { return info_.frames; }
    int format() const { return info_.format; }
    // The frames the file's header promises. libsndfile trims a header that claims more audio than the file
    // holds to what is there (frames() is then less); a file cut short where the header cannot tell (a
    // truncated FLAC stream) shows only when reading ends early.
    std::int64_t declaredFrames() const { return declaredFrames_; }
    // Frames read so far.
    std::int64_t framesRead() const { return framesRead_; }

    // Reads up to `frames` interleaved frames as floats (full scale = 1.0); returns the number read, 0 at the
    // end. Throws std::runtime_error on a read error.
    std::int64_t read(float* interleaved, std::int64_t frames);

  private:
    SF_INFO info_ = {};
    SNDFILE* file_ = nullptr;
    std::int64_t declaredFrames_ = 0;
    std::int64_t framesRead_ = 0;
};

// What a damaged input's header promised against what it held, as "its header promises 45.000 s, it holds
// 11.300 s"; empty when the whole of it was read. Call once reading has ended.
std::string shortfall(const SoundFileReader& input);

// Seconds of audio in all the files, from their headers, for a progress display. A file that cannot be read
// counts as none: its failure is reported when its turn comes.
double audioSeconds(const std::vector<std::filesystem::path>& paths);

// Container and encoding of an output file, as a libsndfile format code.
struct OutputFormat {
    int format;
    std::string description;       // "WAV, 24-bit PCM"
    bool lossy = false;            // Ogg Vorbis, Ogg Opus, MP3: the decoded samples differ from those written
    std::optional<double> quality; // lossy encoders: 0 (smallest) to 1 (best); empty for libsndfile's default
    std::optional<RawLayout> raw;  // headerless samples to standard output, written as they are made
};

// The container follows the output's extension (WAV for standard output, "-", or the headerless samples `raw`
// describes); the encoding is the one asked for, or else the input's when the container holds it; lossy
// containers have their own. Throws UsageError for an extension qv3 does not write, a container that cannot
// hold the requested encoding, or a quality for a lossless output.
OutputFormat chooseOutputFormat(const std::filesystem::path& output, int inputFormat,
                                std::optional<SampleEncoding> requested,
                                std::optional<double> quality = std::nullopt,
                                const std::optional<RawLayout>& raw = std::nullopt);

// Throws std::runtime_error when the format cannot hold audio of that layout, or when a headerless output was
// described with another rate or channel count than the audio has. A resampling the format needs is added to
// its description.
void fitLayout(OutputFormat& format, int channels, int sampleRate);

// Rounds samples to the steps an output file stores: whole 24-bit steps, or 16-bit steps with TPDF dither;
// other encodings pass unchanged. The dither starts from the same seed for every file, so a render is
// repeatable and two rounders given the same samples agree.
class SampleRounder {
  public:
    explicit SampleRounder(const OutputFormat& format);

    // Leaves every sample holding exactly the value the file will store.
    void round(float* interleaved, std::size_t count);
    // The stored sample, as a whole step left-aligned in 32 bits; only for 16- and 24-bit encodings.
    std::int32_t wholeSample(float rounded) const;
    bool roundsToSteps() const { return bits_ != 0; }

  private:
    int bits_; // 16, 24, or 0 for encodings stored as they are
    double scale_;
    std::uint64_t ditherState_ = 0x9E3779B97F4A7C15u;
};

// The rate a file of this format is written at: the audio's own, except for Opus, which codes only a few
// rates and takes any other resampled to 48 kHz, as Opus encoders do.
int writtenRate(int format, int sampleRate);

class SoundFileWriter {
  public:
    // Throws std::runtime_error when libsndfile refuses the file. Audio at a rate the format does not code is
    // resampled to writtenRate() on the way (libsoxr, very high quality).
    SoundFileWriter(const std::filesystem::path& path, const OutputFormat& format, int channels,
                    int sampleRate);
    ~SoundFileWriter();
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    // Writes interleaved frames. 16- and 24-bit PCM are rounded here (16-bit with TPDF dither) and the
    // buffer is left holding exactly the values stored, so the caller measures what the file contains (lossy
    // outputs, resampled ones among them, must be decoded for that). Throws std::runtime_error when the file
    // takes fewer frames (disk full).
    void write(std::vector<float>& interleaved, std::int64_t frames);
    // Finishes the file; throws std::runtime_error if libsndfile reports an error.
    void close();

  private:
    void writeFrames(const float* interleaved, std::int64_t frames);
    // Passes input frames (none, to drain its tail at the end) through the resampler into the file.
    void resample(const float* interleaved, std::size_t frames);

    SNDFILE* file_ = nullptr;
    int channels_;
    SampleRounder rounder_;
    std::vector<int> wholeSamples_;
    std::unique_ptr<soxr, void (*)(soxr_t)> resampler_{nullptr, soxr_delete};
    std::vector<float> resampled_;
};
