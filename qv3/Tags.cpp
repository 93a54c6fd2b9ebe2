#include "Tags.h"

#include <sndfile.h>
#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace {
bool isOpus(int format) {
    return (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG && (format & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS;
}

std::unique_ptr<TagLib::File> openOutput(const std::filesystem::path& path, int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
        return std::make_unique<TagLib::RIFF::WAV::File>(path.c_str(), false);
    case SF_FORMAT_AIFF:
        return std::make_unique<TagLib::RIFF::AIFF::File>(path.c_str(), false);
    case SF_FORMAT_FLAC:
        return std::make_unique<TagLib::FLAC::File>(path.c_str(), false);
    case SF_FORMAT_OGG:
        if (isOpus(format)) return std::make_unique<TagLib::Ogg::Opus::File>(path.c_str(), false);
        return std::make_unique<TagLib::Ogg::Vorbis::File>(path.c_str(), false);
    case SF_FORMAT_MPEG:
        return std::make_unique<TagLib::MPEG::File>(path.c_str(), false);
    default:
        return nullptr;
    }
}

// Where a container keeps its pictures: FLAC in picture blocks, Ogg in its Vorbis comment, MP3, WAV and AIFF
// in an ID3v2 tag (made when `create`).
TagLib::Ogg::XiphComment* vorbisCommentOf(TagLib::File& file) {
    if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(&file)) return vorbis->tag();
    if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(&file)) return opus->tag();
    return nullptr;
}

TagLib::ID3v2::Tag* id3v2Of(TagLib::File& file, bool create) {
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file)) return mpeg->ID3v2Tag(create);
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(&file)) return wav->ID3v2Tag();
    if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(&file)) return aiff->tag();
    return nullptr;
}

std::string utf8(const TagLib::String& text) { return text.to8Bit(true); }

std::vector<TagPicture> picturesIn(TagLib::File& file) {
    std::vector<TagPicture> pictures;
    TagLib::List<TagLib::FLAC::Picture*> blocks;
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(&file)) blocks = flac->pictureList();
    if (auto* comment = vorbisCommentOf(file)) blocks = comment->pictureList();
    for (const TagLib::FLAC::Picture* block : blocks)
        pictures.push_back({utf8(block->mimeType()), utf8(block->description()),
                            static_cast<int>(block->type()),
                            std::string(block->data().data(), block->data().size())});
    if (TagLib::ID3v2::Tag* id3v2 = id3v2Of(file, false)) {
        for (const TagLib::ID3v2::Frame* frame : id3v2->frameList("APIC")) {
            const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
            if (!picture) continue;
            pictures.push_back({utf8(picture->mimeType()), utf8(picture->description()),
                                static_cast<int>(picture->type()),
                                std::string(picture->picture().data(), picture->picture().size())});
        }
    }
    return pictures;
}

void addPictures(TagLib::File& file, const std::vector<TagPicture>& pictures) {
    auto* flac = dynamic_cast<TagLib::FLAC::File*>(&file);
    TagLib::Ogg::XiphComment* comment = vorbisCommentOf(file);
    for (const TagPicture& picture : pictures) {
        const TagLib::ByteVector data(picture.data.data(), static_cast<unsigned>(picture.data.size()));
        const TagLib::String mimeType(picture.mimeType, TagLib::String::UTF8);
        const TagLib::String description(picture.description, TagLib::String::UTF8);
        if (flac || comment) {
            auto* block = new TagLib::FLAC::Picture;
            block->setData(data);
            block->setMimeType(mimeType);
            block->setDescription(description);
            block->setType(static_cast<TagLib::FLAC::Picture::Type>(picture.type));
            if (flac)
                flac->addPicture(block);
            else
                comment->addPicture(block);
        } else if (TagLib::ID3v2::Tag* id3v2 = id3v2Of(file, true)) {
            auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
            frame->setTextEncoding(TagLib::String::UTF8);
            frame->setPicture(data);
            frame->setMimeType(mimeType);
            frame->setDescription(description);
            frame->setType(static_cast<TagLib::ID3v2::AttachedPictureFrame::Type>(picture.type));
            id3v2->addFrame(frame);
        }
    }
}

// What the input carries over: its tags as TagLib names them, less its own gain figures, and its pictures;
// none when TagLib does not know its container.
struct CarriedTags {
    TagLib::PropertyMap tags;
    std::vector<TagPicture> pictures;
};

CarriedTags carriedFrom(const std::filesystem::path& input) {
    if (input.empty()) return {};
    TagLib::FileRef file(input.c_str(), false);
    if (file.isNull()) return {};
    CarriedTags carried{file.file()->properties(), picturesIn(*file.file())};
    for (const char* stale :
         {"REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_ALBUM_GAIN", "REPLAYGAIN_ALBUM_PEAK",
          "REPLAYGAIN_REFERENCE_LOUDNESS", "R128_TRACK_GAIN", "R128_ALBUM_GAIN"})
        carried.tags.erase(stale);
    return carried;
}

// Adds "REPLAYGAIN_<SCOPE>_GAIN" and "_PEAK"; a silent track or album has no gain to give. Opus players read
// only "R128_<SCOPE>_GAIN": whole 1/256 dB steps against -23 LUFS, on top of the header's output gain (which
// libsndfile leaves at 0), and no peak.
void addGain(TagLib::PropertyMap& tags, const char* scope, const GainFigures& figures, bool opus) {
    if (!std::isfinite(figures.loudness)) return;
    if (opus) {
        const double steps = std::round((kOpusReferenceLufs - figures.loudness) * 256.0);
        const long clamped = std::lround(std::clamp(steps, -32768.0, 32767.0));
        tags.replace(std::string("R128_") + scope + "_GAIN", TagLib::StringList(std::to_string(clamped)));
        return;
    }
    char gain[32];
    char peak[32];
    std::snprintf(gain, sizeof gain, "%+.2f dB", kReplayGainReferenceLufs - figures.loudness);
    std::snprintf(peak, sizeof peak, "%.6f", figures.truePeak);
    tags.replace(std::string("REPLAYGAIN_") + scope + "_GAIN", TagLib::StringList(gain));
    tags.replace(std::string("REPLAYGAIN_") + scope + "_PEAK", TagLib::StringList(peak));
}

// MP3 tags are saved as ID3v2 only: an ID3v1 tag cannot hold the ReplayGain frames and would truncate the
// rest.
void save(TagLib::File& file, const TagLib::PropertyMap& tags, const std::filesystem::path& path) {
    file.setProperties(tags);
    auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file);
    const bool saved = mpeg ? mpeg->save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers) : file.save();
    if (!saved) throw std::runtime_error("cannot write the tags of " + path.string());
}
} // namespace

bool holdsReplayGain(int format) {
    const int container = format & SF_FORMAT_TYPEMASK;
    return container == SF_FORMAT_FLAC || container == SF_FORMAT_OGG || container == SF_FORMAT_MPEG;
}

std::vector<TagPicture> picturesOf(const std::filesystem::path& file) {
    if (file.empty()) return {};
    TagLib::FileRef tagged(file.c_str(), false);
    if (tagged.isNull()) return {};
    return picturesIn(*tagged.file());
}

void writeTags(const std::filesystem::path& input, const std::filesystem::path& output, int format,
               const std::optional<GainFigures>& track) {
    CarriedTags carried = carriedFrom(input);
    if (track) addGain(carried.tags, "TRACK", *track, isOpus(format));
    if (carried.tags.isEmpty() && carried.pictures.empty()) return;
    std::unique_ptr<TagLib::File> file = openOutput(output, format);
    if (!file) return;
    if (!file->isValid()) throw std::runtime_error("cannot read back " + output.string() + " to tag it");
    addPictures(*file, carried.pictures);
    save(*file, carried.tags, output);
}

void writeAlbumGain(const std::filesystem::path& output, const GainFigures& album) {
    TagLib::FileRef file(output.c_str(), false);
    if (file.isNull()) throw std::runtime_error("cannot read back " + output.string() + " to tag it");
    TagLib::PropertyMap tags = file.file()->properties();
    addGain(tags, "ALBUM", album, dynamic_cast<TagLib::Ogg::Opus::File*>(file.file()) != nullptr);
    save(*file.file(), tags, output);
}
