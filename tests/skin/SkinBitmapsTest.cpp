// Checks the committed skin bitmaps against the editor layout: sizes, depths and bands the controls derive
// their rectangles from, the key colour rule, the places where the background shows each control's resting
// picture, and the meter scales that must agree with the meter views' geometry.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const Rgb& other) const {
        return red == other.red && green == other.green && blue == other.blue;
    }
    bool operator!=(const Rgb& other) const { return !(*this == other); }
};

struct Picture {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    int paletteSize = 0;
    std::vector<Rgb> pixels; // top row first

    Rgb at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

uint32_t readLittle(const std::vector<uint8_t>& bytes, size_t offset, int size) {
    uint32_t value = 0;
    for (int index = size - 1; index >= 0; --index)
        value = (value << 8) | bytes[offset + static_cast<size_t>(index)];
    return value;
}

std::string skinPath(const std::string& name) { return std::string(QV3_SKIN_DIR) + "/" + name; }

// Parses an uncompressed bottom-up BMP with a 40-byte info header, 8 bits with palette or 24 bits; records a
// test failure and answers an empty picture for anything else.
Picture loadPicture(const std::string& name) {
    std::ifstream file(skinPath(name), std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Picture picture;
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
        ADD_FAILURE() << name << " is not a BMP file";
        return picture;
    }
    const uint32_t pixelOffset = readLittle(bytes, 10, 4);
    const uint32_t infoSize = readLittle(bytes, 14, 4);
    const auto width = static_cast<int32_t>(readLittle(bytes, 18, 4));
    const auto height = static_cast<int32_t>(readLittle(bytes, 22, 4));
    const uint32_t planes = readLittle(bytes, 26, 2);
    const auto bits = static_cast<int>(readLittle(bytes, 28, 2));
    const uint32_t compression = readLittle(bytes, 30, 4);
    const uint32_t coloursUsed = readLittle(bytes, 46, 4);
    EXPECT_EQ(readLittle(bytes, 2, 4), bytes.size()) << name;
    if (infoSize != 40 || planes != 1 || compression != 0 || width <= 0 || height <= 0 ||
        (bits != 8 && bits != 24)) {
        ADD_FAILURE() << name << " has an unexpected header";
        return picture;
    }
    const uint32_t paletteSize = bits == 8 ? (coloursUsed == 0 ? 256 : coloursUsed) : 0;
    const size_t stride =
        (static_cast<size_t>(width) * static_cast<size_t>(bits / 8) + 3) & ~static_cast<size_t>(3);
    if (paletteSize > 256 || pixelOffset != 54 + 4 * paletteSize ||
        bytes.size() != pixelOffset + stride * static_cast<size_t>(height)) {
        ADD_FAILURE() << name << " has an inconsistent palette or pixel array";
        return picture;
    }
    std::vector<Rgb> palette;
    for (uint32_t index = 0; index < paletteSize; ++index) {
        const size_t entry = 54 + 4 * index;
        palette.push_back({bytes[entry + 2], bytes[entry + 1], bytes[entry]});
    }
    picture.width = width;
    picture.height = height;
    picture.bitsPerPixel = bits;
    picture.paletteSize = static_cast<int>(paletteSize);
    for (int y = 0; y < height; ++y) {
        const size_t row = pixelOffset + stride * static_cast<size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            if (bits == 8) {
                const uint8_t index = bytes[row + static_cast<size_t>(x)];
                if (index >= paletteSize) {
                    ADD_FAILURE() << name << " uses a colour index outside its palette";
                    return Picture{};
                }
                picture.pixels.push_back(palette[index]);
            } else {
                const size_t pixel = row + 3 * static_cast<size_t>(x);
                picture.pixels.push_back({bytes[pixel + 2], bytes[pixel + 1], bytes[pixel]});
            }
        }
    }
    return picture;
}

struct Rect {
    int left, top, right, bottom;
};

struct SkinFile {
    const char* name;
    int width;
    int height;
    int bitsPerPixel;
    int bands;
};

const SkinFile kSkinFiles[] = {
    {"10001.bmp", 273, 354, 8, 1},      {"10002.bmp", 127, 13, 8, 1},      {"10003.bmp", 38, 15, 8, 1},
    {"10004.bmp", 38, 15, 8, 1},        {"10005.bmp", 38, 11, 8, 1},       {"10006.bmp", 160, 50, 8, 2},
    {"10007.bmp", 33, 22, 8, 2},        {"10008.bmp", 181, 55, 8, 5},      {"10009.bmp", 7, 120, 8, 1},
    {"10010.bmp", 51, 100, 8, 2},       {"10011.bmp", 51, 120, 8, 2},      {"10012.bmp", 118, 54, 24, 2},
    {"mono/10001.bmp", 273, 354, 8, 1}, {"mono/10009.bmp", 15, 120, 8, 1},
};

const Rgb kKey{0, 0, 0};

bool isKeyPicture(const std::string& name) { return name == "10004.bmp" || name == "10005.bmp"; }

// Pixels of the lit (magenta) button face of the switches.
bool isLitFace(const Rgb& colour) {
    return colour.red >= 170 && colour.green <= 100 && colour.red > 2 * colour.blue;
}

Picture band(const Picture& strip, int index, int bandHeight) {
    Picture piece = strip;
    piece.height = bandHeight;
    piece.pixels.assign(strip.pixels.begin() + index * bandHeight * strip.width,
                        strip.pixels.begin() + (index + 1) * bandHeight * strip.width);
    return piece;
}

// Rows y (between top and bottom) at which column x differs from its colour on row `plainRow`.
std::set<int> markedRows(const Picture& picture, int x, int top, int bottom, int plainRow) {
    std::set<int> rows;
    for (int y = top; y < bottom; ++y)
        if (picture.at(x, y) != picture.at(x, plainRow)) rows.insert(y);
    return rows;
}

// Level wells: 3 rows per dB from the well's top row; -40 dB is clamped onto the bottom row 119.
const std::set<int> kLevelTickRows{0, 9, 18, 30, 45, 60, 90, 119};

std::set<int> shifted(const std::set<int>& rows, int by) {
    std::set<int> result;
    for (int row : rows)
        result.insert(row + by);
    return result;
}

TEST(SkinBitmaps, SizesDepthsAndBandsAreTheOnesTheLayoutDerivesFrom) {
    for (const SkinFile& expected : kSkinFiles) {
        SCOPED_TRACE(expected.name);
        const Picture picture = loadPicture(expected.name);
        EXPECT_EQ(picture.width, expected.width);
        EXPECT_EQ(picture.height, expected.height);
        EXPECT_EQ(picture.bitsPerPixel, expected.bitsPerPixel);
        EXPECT_EQ(picture.height % expected.bands, 0);
        if (picture.bitsPerPixel == 8) {
            EXPECT_LE(picture.paletteSize, 256);
        }
    }
}

TEST(SkinBitmaps, OnlyTheInvisibleFaderPicturesUseTheKeyColour) {
    for (const SkinFile& file : kSkinFiles) {
        SCOPED_TRACE(file.name);
        const Picture picture = loadPicture(file.name);
        ASSERT_FALSE(picture.pixels.empty());
        int keyPixels = 0;
        for (const Rgb& pixel : picture.pixels)
            keyPixels += pixel == kKey ? 1 : 0;
        EXPECT_EQ(keyPixels, isKeyPicture(file.name) ? static_cast<int>(picture.pixels.size()) : 0);
    }
}

TEST(SkinBitmaps, EveryBandOfAStripShowsADifferentState) {
    for (const SkinFile& file : kSkinFiles) {
        if (file.bands < 2) continue;
        SCOPED_TRACE(file.name);
        const Picture strip = loadPicture(file.name);
        ASSERT_EQ(strip.height, file.height);
        const int bandHeight = file.height / file.bands;
        for (int first = 0; first < file.bands; ++first)
            for (int second = first + 1; second < file.bands; ++second)
                EXPECT_NE(band(strip, first, bandHeight).pixels, band(strip, second, bandHeight).pixels)
                    << "bands " << first << " and " << second;
    }
}

struct Placement {
    const char* name;
    Rect place;
};

// Where each view sits in the editor window; the background shows the view's resting picture (band 0) there.
const Placement kStereoPlacements[] = {
    {"10002.bmp", {118, 72, 245, 85}},   {"10003.bmp", {138, 162, 176, 177}},
    {"10003.bmp", {138, 191, 176, 206}}, {"10003.bmp", {138, 261, 176, 276}},
    {"10006.bmp", {89, 31, 249, 56}},    {"10007.bmp", {141, 240, 174, 251}},
    {"10008.bmp", {65, 110, 246, 121}},  {"10009.bmp", {38, 162, 45, 282}},
    {"10009.bmp", {64, 162, 71, 282}},   {"10009.bmp", {204, 162, 211, 282}},
    {"10009.bmp", {230, 162, 237, 282}}, {"10010.bmp", {86, 161, 137, 211}},
    {"10011.bmp", {86, 239, 137, 299}},  {"10012.bmp", {154, 326, 272, 353}},
};

const Placement kMonoPlacements[] = {
    {"10002.bmp", {118, 72, 245, 85}},        {"10003.bmp", {138, 162, 176, 177}},
    {"10003.bmp", {138, 191, 176, 206}},      {"10003.bmp", {138, 261, 176, 276}},
    {"10006.bmp", {89, 31, 249, 56}},         {"10007.bmp", {141, 240, 174, 251}},
    {"10008.bmp", {65, 110, 246, 121}},       {"mono/10009.bmp", {47, 162, 62, 282}},
    {"mono/10009.bmp", {213, 162, 228, 282}}, {"10010.bmp", {86, 161, 137, 211}},
    {"10011.bmp", {86, 239, 137, 299}},       {"10012.bmp", {154, 326, 272, 353}},
};

template <size_t Count>
void expectBackgroundShowsRestingPictures(const std::string& backgroundName,
                                          const Placement (&placements)[Count]) {
    const Picture background = loadPicture(backgroundName);
    ASSERT_EQ(background.width, 273);
    for (const Placement& placement : placements) {
        SCOPED_TRACE(placement.name);
        const Picture picture = loadPicture(placement.name);
        const Rect& place = placement.place;
        ASSERT_EQ(picture.width, place.right - place.left);
        ASSERT_GE(picture.height, place.bottom - place.top);
        int mismatches = 0;
        for (int y = place.top; y < place.bottom; ++y)
            for (int x = place.left; x < place.right; ++x)
                mismatches += background.at(x, y) != picture.at(x - place.left, y - place.top) ? 1 : 0;
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(SkinBitmaps, StereoBackgroundShowsEveryViewsRestingPictureAtItsPlace) {
    expectBackgroundShowsRestingPictures("10001.bmp", kStereoPlacements);
}

TEST(SkinBitmaps, MonoBackgroundShowsEveryViewsRestingPictureAtItsPlace) {
    expectBackgroundShowsRestingPictures("mono/10001.bmp", kMonoPlacements);
}

// Segment boundaries of the five-position clip switch: 181 pixels in five segments of 36.2.
const std::array<int, 6> kClipEdges{0, 36, 72, 109, 145, 181};

TEST(SkinSwitches, OnlyTheSelectedClipSegmentIsLit) {
    const Picture strip = loadPicture("10008.bmp");
    ASSERT_EQ(strip.height, 55);
    for (int index = 0; index < 5; ++index) {
        SCOPED_TRACE(index);
        const Picture picture = band(strip, index, 11);
        int litInside = 0;
        int litOutside = 0;
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 181; ++x) {
                if (!isLitFace(picture.at(x, y))) continue;
                (x >= kClipEdges[index] && x < kClipEdges[index + 1] ? litInside : litOutside)++;
            }
        EXPECT_GT(litInside, 150);
        EXPECT_EQ(litOutside, 0);
    }
}

TEST(SkinSwitches, MonitorBandsLightTheHalfTheirValueSelects) {
    const Picture strip = loadPicture("10006.bmp");
    ASSERT_EQ(strip.height, 50);
    for (int index = 0; index < 2; ++index) {
        SCOPED_TRACE(index);
        const Picture picture = band(strip, index, 25);
        int litInside = 0;
        int litOutside = 0;
        for (int y = 0; y < 25; ++y)
            for (int x = 0; x < 160; ++x) {
                if (!isLitFace(picture.at(x, y))) continue;
                ((x < 80) == (index == 0) ? litInside : litOutside)++;
            }
        EXPECT_GT(litInside, 1000);
        EXPECT_EQ(litOutside, 0);
    }
}

TEST(SkinReductionScale, MajorTicksSitWhereTheMarkerCentresForEveryFiveDecibels) {
    const Picture well = loadPicture("10002.bmp");
    ASSERT_EQ(well.width, 127);
    // Rows 1 and 11 carry a tick for every dB (5 columns per dB from column 125); rows 2 and 10 the majors
    // only.
    std::set<int> everyDecibel;
    for (int column = 125; column >= 0; column -= 5)
        everyDecibel.insert(column);
    const std::set<int> majors{25, 50, 75, 100, 125};
    for (int row : {1, 11}) {
        std::set<int> marked;
        for (int x = 0; x < 127; ++x)
            if (well.at(x, row) != well.at(3, row)) marked.insert(x);
        EXPECT_EQ(marked, everyDecibel) << "row " << row;
    }
    for (int row : {2, 10}) {
        std::set<int> marked;
        for (int x = 1; x < 127; ++x)
            if (well.at(x, row) != well.at(3, row)) marked.insert(x);
        EXPECT_EQ(marked, majors) << "row " << row;
    }
}

TEST(SkinReductionScale, BackgroundTicksLineUpWithTheMeterColumns) {
    for (const char* name : {"10001.bmp", "mono/10001.bmp"}) {
        SCOPED_TRACE(name);
        const Picture background = loadPicture(name);
        ASSERT_EQ(background.width, 273);
        // The tick row just above the meter's frame: a tick on every dB, the majors brighter.
        const int row = 70;
        std::set<int> ticks;
        std::set<int> brightest;
        int brightestSum = 0;
        for (int x = 118; x < 245; ++x) {
            const Rgb pixel = background.at(x, row);
            if (pixel == background.at(119, row)) continue;
            ticks.insert(x - 118);
            const int sum = pixel.red + pixel.green + pixel.blue;
            if (sum > brightestSum) brightest.clear();
            if (sum >= brightestSum) {
                brightestSum = sum;
                brightest.insert(x - 118);
            }
        }
        std::set<int> everyDecibel;
        for (int column = 125; column > 0; column -= 5)
            everyDecibel.insert(column);
        EXPECT_EQ(ticks, everyDecibel);
        EXPECT_EQ(brightest, (std::set<int>{25, 50, 75, 100, 125}));
    }
}

TEST(SkinLevelWells, StereoWellHasDarkBorderAndFaintTicksThreeRowsPerDecibel) {
    const Picture well = loadPicture("10009.bmp");
    ASSERT_EQ(well.width, 7);
    ASSERT_EQ(well.height, 120);
    const Rgb border = well.at(0, 0);
    for (int y = 0; y < 120; ++y)
        EXPECT_EQ(well.at(0, y), border) << "column 0, row " << y;
    for (int x = 0; x < 7; ++x)
        EXPECT_EQ(well.at(x, 0), border) << "row 0, column " << x;
    const std::set<int> ticksBelowTheBorder{9, 18, 30, 45, 60, 90, 119};
    for (int x = 1; x < 7; ++x) {
        const Rgb pixel = well.at(x, 1);
        const int brightness = pixel.red + pixel.green + pixel.blue;
        EXPECT_GT(brightness, border.red + border.green + border.blue) << "column " << x;
    }
    for (int x = 1; x < 6; ++x)
        EXPECT_EQ(markedRows(well, x, 1, 120, 1), ticksBelowTheBorder) << "column " << x;
}

TEST(SkinLevelWells, MonoWellCarriesTicksAtTheSameRowsAndItsOwnFigures) {
    const Picture well = loadPicture("mono/10009.bmp");
    ASSERT_EQ(well.width, 15);
    ASSERT_EQ(well.height, 120);
    const std::set<int> ticksBelowTheBorder{9, 18, 30, 45, 60, 90, 119};
    for (int x : {1, 2, 11, 12})
        EXPECT_EQ(markedRows(well, x, 1, 120, 1), ticksBelowTheBorder) << "column " << x;
    int figurePixels = 0;
    for (int y = 1; y < 120; ++y)
        for (int x = 4; x < 11; ++x)
            figurePixels += well.at(x, y) != well.at(x, 1) && !ticksBelowTheBorder.count(y) ? 1 : 0;
    EXPECT_GT(figurePixels, 60);
}

struct ScaleColumn {
    int x;
    int wellTop;
};

void expectScaleTicks(const char* backgroundName, const std::vector<ScaleColumn>& columns) {
    const Picture background = loadPicture(backgroundName);
    ASSERT_EQ(background.height, 354);
    for (const ScaleColumn& column : columns)
        EXPECT_EQ(markedRows(background, column.x, 156, 296, 156), shifted(kLevelTickRows, column.wellTop))
            << backgroundName << ", column " << column.x;
}

TEST(SkinLevelWells, StereoBackgroundScaleTicksSitOnTheWellRows) {
    // Ticks two columns long beside the inner edge of each well of a pair; 0 dB on the well's top row 162.
    expectScaleTicks(
        "10001.bmp",
        {{46, 162}, {47, 162}, {61, 162}, {62, 162}, {212, 162}, {213, 162}, {227, 162}, {228, 162}});
}

TEST(SkinLevelWells, MonoBackgroundScaleTicksSitOnTheWellRows) {
    expectScaleTicks(
        "mono/10001.bmp",
        {{42, 162}, {44, 162}, {64, 162}, {66, 162}, {208, 162}, {210, 162}, {230, 162}, {232, 162}});
}

} // namespace
