#include "AudioFiles.h"

#include "Errors.h"
#include "Platform.h"
#include "TemporaryOutput.h"
#include "TextNumbers.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {
// The extensions qv3 writes, with their container and, for the lossy ones, their only encoding.
struct Container {
    const char* extension;
    int type;
    int lossyEncoding;
};
constexpr Container kContainers[] = {
    {".wav", SF_FORMAT_WAV, 0},
    {".wave", SF_FORMAT_WAV, 0},
    {".aif", SF_FORMAT_AIFF, 0},
    {".aiff", SF_FORMAT_AIFF, 0},
    {".aifc", SF_FORMAT_AIFF, 0},
    {".flac", SF_FORMAT_FLAC, 0},
    {".caf", SF_FORMAT_CAF, 0},
    {".w64", SF_FORMAT_W64, 0},
    {".rf64", SF_FORMAT_RF64, 0},
    {".au", SF_FORMAT_AU, 0},
    {".snd", SF_FORMAT_AU, 0},
    {".ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS},
    {".oga", SF_FORMAT_OGG, SF_FORMAT_VORBIS},
    {".opus", SF_FORMAT_OGG, SF_FORMAT_OPUS},
    {".mp3", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III},
};

int subtypeOf(SampleEncoding encoding) {
    switch (encoding) {
    case SampleEncoding::Float:
        return SF_FORMAT_FLOAT;
    case SampleEncoding::Pcm16:
        return SF_FORMAT_PCM_16;
    case SampleEncoding::Pcm24:
        return SF_FORMAT_PCM_24;
    }
    return SF_FORMAT_FLOAT;
}

// True when this build of libsndfile has the container at all: its format check knows every container it was
// written for, built in or not (MP3 needs the build's mpg123 and LAME).
bool built(int container) {
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int index = 0; index < count; ++index) {
        SF_FORMAT_INFO info = {};
        info.format = index;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 && info.format == container)
            return true;
    }
    return false;
}

bool holds(int format) {
    SF_INFO probe = {};
    probe.format = format;
    probe.channels = 2;
    probe.samplerate = 48000;
    return sf_format_check(&probe) == SF_TRUE && built(format & SF_FORMAT_TYPEMASK);
}

std::string formatName(int format) {
    SF_FORMAT_INFO info = {};
    info.format = format;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || !info.name) return "unknown";
    return info.name;
}

// libsndfile's reason for the last failure on one line: on Windows it passes system messages on with their
// line end.
std::string libraryError(SNDFILE* file) {
    std::string reason = sf_strerror(file);
    while (!reason.empty() && std::isspace(static_cast<unsigned char>(reason.back())))
        reason.pop_back();
    return reason;
}

// Unbiased rounding to the nearest whole step with the range of a two's-complement sample of `bits`.
constexpr std::int32_t kLowestRawRate = 1000;
constexpr std::int32_t kHighestRawRate = 768000;

int rawFormat(const RawLayout& layout) {
    return SF_FORMAT_RAW | subtypeOf(layout.encoding) | SF_ENDIAN_LITTLE;
}

int roundToStep(double scaled, int bits) {
    const double largest = std::ldexp(1.0, bits - 1) - 1.0;
    return static_cast<int>(std::clamp(std::nearbyint(scaled), -largest - 1.0, largest));
}
} // namespace

std::optional<SampleEncoding> sampleEncodingNamed(const std::string& name) {
    if (name == "float") return SampleEncoding::Float;
    if (name == "pcm16") return SampleEncoding::Pcm16;
    if (name == "pcm24") return SampleEncoding::Pcm24;
    return std::nullopt;
}

RawLayout parseRawLayout(const std::string& text) {
    const auto refuse = [&text](const std::string& why) -> RawLayout {
        throw UsageError("--raw takes RATE:CHANNELS:ENCODING, as 44100:2:pcm16, not '" + text + "': " + why);
    };
    const std::size_t first = text.find(':');
    const std::size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos || text.find(':', second + 1) != std::string::npos)
        return refuse("a headerless stream cannot tell its rate and channels");
    RawLayout layout;
    const auto rate = parseWholeNumber(text.substr(0, first));
    const auto channels = parseWholeNumber(text.substr(first + 1, second - first - 1));
    const auto encoding = sampleEncodingNamed(text.substr(second + 1));
    if (!rate || *rate < kLowestRawRate || *rate > kHighestRawRate)
        return refuse("the rate is 1000 to 768000 Hz");
    if (!channels || *channels < 1 || *channels > 2) return refuse("qv3 takes 1 or 2 channels");
    if (!encoding) return refuse("the encoding is float, pcm16 or pcm24");
    return {static_cast<int>(*rate), static_cast<int>(*channels), *encoding};
}

SoundFileReader::SoundFileReader(const std::filesystem::path& path, const std::optional<RawLayout>& raw) {
    const bool headerless = raw && isStandardStream(path);
    if (headerless) {
        info_.format = rawFormat(*raw);
        info_.samplerate = raw->sampleRate;
        info_.channels = raw->channels;
    }
    const int descriptor = openForReading(path);
    if (descriptor < 0) {
        const std::string reason = lastSystemError();
        throw std::runtime_error("cannot read " + path.string() + ": " + reason);
    }
    file_ = sf_open_fd(descriptor, SFM_READ, &info_, SF_TRUE);
    if (!file_ && isStandardStream(path) && !headerless)
        throw std::runtime_error("standard input holds no audio format qv3 reads (" + libraryError(nullptr) +
                                 "); headerless samples need --raw RATE:CHANNELS:ENCODING");
    if (!file_) throw std::runtime_error("cannot read " + path.string() + ": " + libraryError(nullptr));
    // A headerless pipe has no length to give: it is read to its end.
    if (headerless && !info_.seekable) info_.frames = 0;
    declaredFrames_ = info_.frames;
    // libsndfile notes a trimmed audio chunk in its log as "data : 2646000 (should be 999956)": the bytes the
    // header claims, then the bytes there are. AIFF's SSND chunk counts 8 bytes of offset and block size too.
    std::string log(4096, '\0');
    sf_command(file_, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    constexpr std::pair<const char*, long long> kAudioChunks[] = {{"\ndata : ", 0}, {"SSND : ", 8}};
    for (const auto& [chunk, overhead] : kAudioChunks) {
        const std::size_t at = log.find(chunk);
        long long claimed = 0;
        long long present = 0;
        if (at == std::string::npos || info_.frames <= 0 ||
            std::sscanf(log.c_str() + at + std::strlen(chunk), "%lld (should be %lld)", &claimed, &present) !=
                2 ||
            claimed <= present)
            continue;
        // The whole frames there are fill all but a fraction of the last frame's bytes.
        const long long frameBytes = std::llround(static_cast<double>(present - overhead) / info_.frames);
        declaredFrames_ = (claimed - overhead) / std::max(1LL, frameBytes);
    }
}

std::string shortfall(const SoundFileReader& input) {
    if (input.framesRead() >= input.declaredFrames()) return "";
    char text[96];
    const double rate = std::max(1, input.sampleRate());
    std::snprintf(text, sizeof text, "its header promises %.3f s, it holds %.3f s",
                  input.declaredFrames() / rate, input.framesRead() / rate);
    return text;
}

SoundFileReader::~SoundFileReader() { sf_close(file_); }

double audioSeconds(const std::vector<std::filesystem::path>& paths) {
    double total = 0.0;
    for (const auto& path : paths) {
        // Standard input, a pipe or a device can be read only once, when its turn comes.
        std::error_code error;
        if (isStandardStream(path) || !std::filesystem::is_regular_file(path, error)) continue;
        try {
            SoundFileReader input(path);
            total += static_cast<double>(input.frames()) / std::max(1, input.sampleRate());
        } catch (const std::exception&) {
            // Reported when the file's turn comes.
        }
    }
    return total;
}

std::int64_t SoundFileReader::read(float* interleaved, std::int64_t frames) {
    sf_count_t got = sf_readf_float(file_, interleaved, frames);
    if (got < frames && sf_error(file_) != SF_ERR_NO_ERROR)
        throw std::runtime_error(std::string("reading the input failed: ") + libraryError(file_));
    framesRead_ += got;
    return got;
}

OutputFormat chooseOutputFormat(const std::filesystem::path& output, int inputFormat,
                                std::optional<SampleEncoding> requested, std::optional<double> quality,
                                const std::optional<RawLayout>& raw) {
    if (raw && isStandardStream(output)) {
        if (requested && *requested != raw->encoding)
            throw UsageError("--format and --raw ask for different samples on standard output");
        if (quality) throw UsageError("--quality is for lossy outputs (.ogg, .opus, .mp3), not raw samples");
        const int format = rawFormat(*raw);
        return {format, "raw, " + formatName(format & SF_FORMAT_SUBMASK) + ", little-endian", false,
                std::nullopt, raw};
    }
    std::string extension = output.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const Container* chosen = isStandardStream(output) ? &kContainers[0] : nullptr;
    for (const Container& known : kContainers)
        if (extension == known.extension) chosen = &known;
    if (!chosen) {
        std::string offered;
        for (const Container& known : kContainers)
            if (holds(known.type | (known.lossyEncoding ? known.lossyEncoding : SF_FORMAT_PCM_16)))
                offered += (offered.empty() ? "" : " ") + std::string(known.extension);
        throw UsageError("output " + output.string() + ": " +
                         (extension.empty() ? "no extension" : "unknown extension '" + extension + "'") +
                         " says no format; qv3 writes " + offered);
    }
    const int container = chosen->type;
    if (quality && !chosen->lossyEncoding)
        throw UsageError("--quality is for lossy outputs (.ogg, .opus, .mp3), not " + formatName(container));

    int format = 0;
    if (chosen->lossyEncoding) {
        format = container | chosen->lossyEncoding;
        if (requested)
            throw UsageError(formatName(container) + " files cannot hold " +
                             formatName(subtypeOf(*requested)) + " samples");
        if (!holds(format))
            throw UsageError("this build of libsndfile cannot write " + std::string(chosen->extension) +
                             " files");
    } else if (requested) {
        format = container | subtypeOf(*requested);
        if (!holds(format))
            throw UsageError(formatName(container) + " files cannot hold " +
                             formatName(subtypeOf(*requested)) + " samples");
    } else {
        format = container | (inputFormat & SF_FORMAT_SUBMASK);
        if (!holds(format)) format = container | SF_FORMAT_PCM_24;
        if (!holds(format)) throw UsageError("libsndfile cannot write " + formatName(container) + " files");
    }
    return {format, formatName(container) + ", " + formatName(format & SF_FORMAT_SUBMASK),
            chosen->lossyEncoding != 0, quality, std::nullopt};
}

SampleRounder::SampleRounder(const OutputFormat& format) {
    const int subtype = format.format & SF_FORMAT_SUBMASK;
    bits_ = subtype == SF_FORMAT_PCM_16 ? 16 : subtype == SF_FORMAT_PCM_24 ? 24 : 0;
    scale_ = bits_ ? std::ldexp(1.0, bits_ - 1) : 1.0;
}

void SampleRounder::round(float* interleaved, std::size_t count) {
    if (!bits_) return;
    // TPDF dither: the difference of two uniform values spans +-1 step with a triangular density.
    auto uniform = [this] {
        ditherState_ ^= ditherState_ >> 12;
        ditherState_ ^= ditherState_ << 25;
        ditherState_ ^= ditherState_ >> 27;
        return static_cast<double>((ditherState_ * 0x2545F4914F6CDD1Du) >> 11) * 0x1.0p-53;
    };
    for (std::size_t i = 0; i < count; ++i) {
        double scaled = static_cast<double>(interleaved[i]) * scale_;
        if (bits_ == 16) scaled += uniform() - uniform();
        interleaved[i] = static_cast<float>(roundToStep(scaled, bits_) / scale_);
    }
}

std::int32_t SampleRounder::wholeSample(float rounded) const {
    const int step = static_cast<int>(static_cast<double>(rounded) * scale_);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(step) << (32 - bits_));
}

int writtenRate(int format, int sampleRate) {
    if ((format & SF_FORMAT_SUBMASK) != SF_FORMAT_OPUS) return sampleRate;
    for (const int coded : {8000, 12000, 16000, 24000, 48000})
        if (sampleRate == coded) return sampleRate;
    return 48000;
}

SoundFileWriter::SoundFileWriter(const std::filesystem::path& path, const OutputFormat& format, int channels,
                                 int sampleRate)
    : channels_(channels), rounder_(format) {
    SF_INFO info = {};
    info.format = format.format;
    info.channels = channels;
    info.samplerate = writtenRate(format.format, sampleRate);
    if (info.samplerate != sampleRate) {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
        soxr_error_t error = nullptr;
        resampler_.reset(soxr_create(sampleRate, info.samplerate, static_cast<unsigned>(channels), &error,
                                     &io, &quality, nullptr));
        if (error) throw std::runtime_error(std::string("cannot resample the output: ") + error);
    }
    const int descriptor = openForWriting(path);
    if (descriptor < 0) {
        const std::string reason = lastSystemError();
        throw std::runtime_error("cannot write " + path.string() + ": " + reason);
    }
    file_ = sf_open_fd(descriptor, SFM_WRITE, &info, SF_TRUE);
    if (!file_)
        throw std::runtime_error("cannot write " + format.description + " output: " + libraryError(nullptr));
    // Encodings libsndfile converts itself must clip, never wrap around, should a sample pass full scale.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if (format.quality) {
        double quality = *format.quality;
        sf_command(file_, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }
}

SoundFileWriter::~SoundFileWriter() {
    if (file_) sf_close(file_);
}

void SoundFileWriter::write(std::vector<float>& interleaved, std::int64_t frames) {
    const std::size_t count = static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels_);
    rounder_.round(interleaved.data(), count);
    if (resampler_) {
        resample(interleaved.data(), static_cast<std::size_t>(frames));
        return;
    }
    if (rounder_.roundsToSteps()) {
        // libsndfile takes whole samples left-aligned in 32 bits.
        wholeSamples_.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            wholeSamples_[i] = rounder_.wholeSample(interleaved[i]);
        if (sf_writef_int(file_, wholeSamples_.data(), frames) != frames)
            throw std::runtime_error(std::string("writing the output failed: ") + libraryError(file_));
        return;
    }
    writeFrames(interleaved.data(), frames);
}

void SoundFileWriter::writeFrames(const float* interleaved, std::int64_t frames) {
    if (sf_writef_float(file_, interleaved, frames) != frames)
        throw std::runtime_error(std::string("writing the output failed: ") + libraryError(file_));
}

void SoundFileWriter::resample(const float* interleaved, std::size_t frames) {
    constexpr std::size_t kResampledFrames = 8192;
    resampled_.resize(kResampledFrames * static_cast<std::size_t>(channels_));
    // The resampler takes what fits its output and keeps a tail; given no input it drains that tail.
    std::size_t used = 0;
    std::size_t made = 0;
    do {
        const soxr_error_t error = soxr_process(resampler_.get(), interleaved, frames, &used,
                                                resampled_.data(), kResampledFrames, &made);
        if (error) throw std::runtime_error(std::string("resampling the output failed: ") + error);
        writeFrames(resampled_.data(), static_cast<std::int64_t>(made));
        if (interleaved) interleaved += used * static_cast<std::size_t>(channels_);
        frames -= used;
    } while ((frames > 0 && used + made > 0) || made == kResampledFrames);
}

void fitLayout(OutputFormat& format, int channels, int sampleRate) {
    if (format.raw && (format.raw->channels != channels || format.raw->sampleRate != sampleRate))
        throw std::runtime_error("--raw says standard output carries " +
                                 std::to_string(format.raw->channels) + " channel(s) at " +
                                 std::to_string(format.raw->sampleRate) + " Hz, but the input has " +
                                 std::to_string(channels) + " at " + std::to_string(sampleRate) + " Hz");
    // libsndfile's format check does not know every encoder's limits: an empty file written aside does.
    TemporaryOutput probe(std::filesystem::temp_directory_path() / "qv3-format-check");
    SoundFileWriter writer(probe.path(), format, channels, sampleRate);
    writer.close();
    const int written = writtenRate(format.format, sampleRate);
    if (written != sampleRate)
        format.description += ", resampled to " + std::to_string(written / 1000) + " kHz";
}

void SoundFileWriter::close() {
    if (resampler_) resample(nullptr, 0);
    int result = sf_close(file_);
    file_ = nullptr;
    if (result != 0)
        throw std::runtime_error(std::string("finishing the output failed: ") + libraryError(nullptr));
}
