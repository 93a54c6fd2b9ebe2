// Output containers and tags: every container qv3 writes is written and read back by the same qv3 on every
// platform, the input's tags reach the output, and --write-tags writes the ReplayGain figures qv3 reports.
#include "ToolTestSupport.h"

#include "qv3/Tags.h"

#include <nlohmann/json.hpp>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/tpropertymap.h>

namespace {

TagLib::PropertyMap tagsOf(const fs::path& path) {
    TagLib::FileRef file(path.c_str(), false);
    if (file.isNull()) {
        ADD_FAILURE() << "TagLib cannot read " << path;
        return {};
    }
    return file.file()->properties();
}

std::string tag(const TagLib::PropertyMap& tags, const char* key) {
    return tags.contains(key) ? tags[key].toString().to8Bit(true) : "";
}

class Codecs : public ::testing::Test {
  protected:
    ScratchFolder folder;
};

// Rendered and then measured by qv3 analyze: each container is read back, with the input's layout.
TEST_F(Codecs, EveryContainerIsWrittenAndReadBack) {
    const std::int64_t frames = 48000;
    writeSound(folder / "in.wav", sine(2, 48000, frames, 997.0, 0.5));
    for (const char* extension : {"wav", "flac", "ogg", "opus", "mp3", "aiff", "w64", "rf64"}) {
        SCOPED_TRACE(extension);
        const fs::path output = folder / (std::string("out.") + extension);
        auto rendered = runQv3({"render", (folder / "in.wav").string(), output.string()});
        ASSERT_EQ(rendered.status, 0) << rendered.err;
        auto analyzed = runQv3({"analyze", output.string()});
        EXPECT_EQ(analyzed.status, 0) << analyzed.err;
        Sound sound = readSound(output);
        EXPECT_EQ(sound.channels, 2);
        EXPECT_EQ(sound.sampleRate, 48000);
        // Lossy encoders pad the stream to whole frames.
        EXPECT_GE(sound.frames(), frames);
        EXPECT_LE(sound.frames(), frames + 4096);
    }
}

class Tags : public ::testing::Test {
  protected:
    // A FLAC input carrying `tags`.
    void writeTaggedInput(const TagLib::PropertyMap& tags) {
        writeSound(folder / "in.flac", sine(2, 48000, 48000, 997.0, 0.5, SF_FORMAT_FLAC | SF_FORMAT_PCM_24));
        TagLib::FileRef file((folder / "in.flac").c_str(), false);
        ASSERT_FALSE(file.isNull());
        file.file()->setProperties(tags);
        ASSERT_TRUE(file.save());
    }

    ScratchFolder folder;
};

TEST_F(Tags, TheInputsTagsReachEveryTaggableContainer) {
    const std::vector<std::pair<const char*, const char*>> given = {{"TITLE", "Überfahrt"},
                                                                    {"ARTIST", "Orvanta Ensemble"},
                                                                    {"ALBUM", "Night Ferry"},
                                                                    {"TRACKNUMBER", "3"},
                                                                    {"DATE", "2026"},
                                                                    {"GENRE", "Ambient"},
                                                                    {"COMMENT", "mastered twice"}};
    TagLib::PropertyMap tags;
    for (const auto& [key, value] : given)
        tags.replace(key, TagLib::StringList(TagLib::String(value, TagLib::String::UTF8)));
    // A figure of the input: the render changes the loudness, so it must not be carried over.
    tags.replace("REPLAYGAIN_TRACK_GAIN", TagLib::StringList("-7.00 dB"));
    writeTaggedInput(tags);
    // Cover art, with bytes no text would hold.
    const std::string art("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff", 17);
    {
        TagLib::FLAC::File input((folder / "in.flac").c_str(), false);
        auto* picture = new TagLib::FLAC::Picture;
        picture->setData(TagLib::ByteVector(art.data(), static_cast<unsigned>(art.size())));
        picture->setMimeType("image/png");
        picture->setDescription(TagLib::String("Fähre, vorne", TagLib::String::UTF8));
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        input.addPicture(picture);
        ASSERT_TRUE(input.save());
    }
    for (const char* extension : {"flac", "ogg", "opus", "mp3", "wav", "aiff"}) {
        SCOPED_TRACE(extension);
        const fs::path output = folder / (std::string("out.") + extension);
        auto result = runQv3({"render", (folder / "in.flac").string(), output.string()});
        ASSERT_EQ(result.status, 0) << result.err;
        const TagLib::PropertyMap written = tagsOf(output);
        for (const auto& [key, value] : given)
            EXPECT_EQ(tag(written, key), value) << key;
        EXPECT_FALSE(written.contains("REPLAYGAIN_TRACK_GAIN"));
        const std::vector<TagPicture> pictures = picturesOf(output);
        ASSERT_EQ(pictures.size(), 1u);
        EXPECT_EQ(pictures[0].data, art);
        EXPECT_EQ(pictures[0].mimeType, "image/png");
        EXPECT_EQ(pictures[0].description, "Fähre, vorne");
        EXPECT_EQ(pictures[0].type, 3);
        EXPECT_GT(readSound(output).frames(), 0);
    }
}

double gainDb(const std::string& text) {
    double value = NAN;
    EXPECT_EQ(std::sscanf(text.c_str(), "%lf dB", &value), 1) << text;
    return value;
}

double peakDb(const std::string& text) { return decibelsOf(std::atof(text.c_str())); }

// The track's figures are the report's output levels: the gain against -18 LUFS, the true peak as the peak.
TEST_F(Tags, ReplayGainIsTheReportedResult) {
    writeTaggedInput({});
    for (const char* extension : {"flac", "ogg", "opus", "mp3"}) {
        SCOPED_TRACE(extension);
        const fs::path output = folder / (std::string("out.") + extension);
        auto result =
            runQv3({"render", "--target-lufs", "-16", "--write-tags", "--report",
                    (folder / "report.json").string(), (folder / "in.flac").string(), output.string()});
        ASSERT_EQ(result.status, 0) << result.err;
        const auto levels =
            nlohmann::json::parse(readText(folder / "report.json"))["files"][0]["output_levels"];
        const TagLib::PropertyMap written = tagsOf(output);
        EXPECT_FALSE(written.contains("REPLAYGAIN_ALBUM_GAIN"));
        if (std::string(extension) == "opus") {
            // Opus's own gain: whole 1/256 dB steps against -23 LUFS, and nothing players there ignore.
            const double steps = std::stod(tag(written, "R128_TRACK_GAIN"));
            EXPECT_EQ(steps, std::round(steps));
            EXPECT_NEAR(steps / 256.0, -23.0 - levels["integrated_lufs"].get<double>(), 0.5 / 256.0 + 0.01);
            EXPECT_FALSE(written.contains("REPLAYGAIN_TRACK_GAIN"));
            EXPECT_FALSE(written.contains("REPLAYGAIN_TRACK_PEAK"));
            continue;
        }
        EXPECT_NEAR(gainDb(tag(written, "REPLAYGAIN_TRACK_GAIN")),
                    -18.0 - levels["integrated_lufs"].get<double>(), 0.01);
        EXPECT_NEAR(peakDb(tag(written, "REPLAYGAIN_TRACK_PEAK")), levels["true_peak_dbtp"].get<double>(),
                    0.01);
    }
}

// Album outputs keep their inputs' containers: FLAC carries ReplayGain, Opus its own R128 gains.
TEST_F(Tags, AlbumGainIsTheAlbumsResult) {
    for (const int container : {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, SF_FORMAT_OGG | SF_FORMAT_OPUS}) {
        const bool opus = (container & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS;
        const std::string extension = opus ? ".opus" : ".flac";
        SCOPED_TRACE(extension);
        const fs::path loud = folder / ("loud" + extension), quiet = folder / ("quiet" + extension);
        writeSound(loud, sine(2, 48000, 48000, 997.0, 0.5, container));
        writeSound(quiet, sine(2, 48000, 48000, 440.0, 0.1, container));
        auto result = runQv3({"render", "--album", "--target-lufs", "-16", "--write-tags", "--report",
                              (folder / "report.json").string(), "-o", (folder / "out").string(),
                              loud.string(), quiet.string()});
        ASSERT_EQ(result.status, 0) << result.err;
        const auto report = nlohmann::json::parse(readText(folder / "report.json"));
        const double albumLoudness = report["album"]["output_levels"]["integrated_lufs"].get<double>();
        for (const auto& file : report["files"]) {
            SCOPED_TRACE(file["output"].get<std::string>());
            const TagLib::PropertyMap written = tagsOf(fs::u8path(file["output"].get<std::string>()));
            const double trackLoudness = file["output_levels"]["integrated_lufs"].get<double>();
            if (opus) {
                EXPECT_NEAR(std::stod(tag(written, "R128_ALBUM_GAIN")) / 256.0, -23.0 - albumLoudness, 0.01);
                EXPECT_NEAR(std::stod(tag(written, "R128_TRACK_GAIN")) / 256.0, -23.0 - trackLoudness, 0.01);
                EXPECT_FALSE(written.contains("REPLAYGAIN_ALBUM_GAIN"));
                continue;
            }
            EXPECT_NEAR(gainDb(tag(written, "REPLAYGAIN_ALBUM_GAIN")), -18.0 - albumLoudness, 0.01);
            EXPECT_NEAR(peakDb(tag(written, "REPLAYGAIN_ALBUM_PEAK")),
                        report["album"]["output_levels"]["true_peak_dbtp"].get<double>(), 0.01);
            EXPECT_NEAR(gainDb(tag(written, "REPLAYGAIN_TRACK_GAIN")), -18.0 - trackLoudness, 0.01);
        }
    }
}

// Refused before any work: no output appears.
TEST_F(Tags, WriteTagsRefusesContainersWithoutReplayGain) {
    writeTaggedInput({});
    for (const char* extension : {"wav", "aiff", "w64", "rf64"}) {
        SCOPED_TRACE(extension);
        const fs::path output = folder / (std::string("out.") + extension);
        auto result = runQv3({"render", "--write-tags", (folder / "in.flac").string(), output.string()});
        EXPECT_EQ(result.status, 2);
        ASSERT_EQ(result.errLines().size(), 1u) << result.err;
        EXPECT_NE(result.err.find("--write-tags"), std::string::npos) << result.err;
        EXPECT_FALSE(fs::exists(output));
    }
}

} // namespace
