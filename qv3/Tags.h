// Tags of a rendered file, through TagLib: the ones its input carries (pictures too), carried over to the
// output, and on request ReplayGain 2 figures of the result, as loudness scanners write them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// A ReplayGain figure: the integrated loudness of the track or album as written, and its true peak (linear,
// the oversampled peak the summary reports rather than the sample peak).
struct GainFigures {
    double loudness; // LUFS
    double truePeak; // linear
};

// A picture the tags carry, cover art mostly.
struct TagPicture {
    std::string mimeType;    // "image/jpeg"
    std::string description; // UTF-8
    int type;                // as FLAC and ID3v2 number them: 3 is the front cover
    std::string data;        // the image file's bytes
};

// The pictures of a tagged file, in the order it holds them; none when TagLib cannot read it.
std::vector<TagPicture> picturesOf(const std::filesystem::path& file);

// ReplayGain 2 refers every gain to this loudness; Opus's own gain tags to the broadcast one.
constexpr double kReplayGainReferenceLufs = -18.0;
constexpr double kOpusReferenceLufs = -23.0;

// The containers whose tags hold ReplayGain figures: FLAC and Ogg Vorbis (Vorbis comments), MP3 (ID3v2 TXXX
// frames), and Opus, which holds them as its own R128 gains. `format` is a libsndfile format code.
bool holdsReplayGain(int format);

// Writes into the finished output (libsndfile format `format`, under any name) the tags and pictures its
// input carries, less the input's own ReplayGain figures, which the render has made wrong; and the track's
// ReplayGain figures when given. An input TagLib cannot read (or an empty path, for standard input) carries
// none; an output it cannot tag (W64, RF64) is left untagged, and so is a silent track's gain. Throws
// std::runtime_error when the tags cannot be saved.
void writeTags(const std::filesystem::path& input, const std::filesystem::path& output, int format,
               const std::optional<GainFigures>& track);

// Adds the album's ReplayGain figures to an output in place, tagged before by writeTags; the container
// follows the output's extension.
void writeAlbumGain(const std::filesystem::path& output, const GainFigures& album);
