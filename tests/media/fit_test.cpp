// Fitting pictures into the frame: in every frame and mode the picture lands
// centred at the size its mode gives, a disc stays round on the display, flat
// colours and the pad come through exactly; the pad colour converts to video
// black; degenerate shapes fit. The command's tests code fitted discs and
// measure them on the decoded stream.
#include <cmath>

#include "media/fit.h"
#include "media/picture_input.h"
#include "media/reference_planes.h"
#include "media_test_support.h"

namespace {

struct FrameCase {
    const char* name;
    bool pal, wide;
};

const FrameCase kFrames[] = {{"pal_4x3", true, false},
                             {"pal_16x9", true, true},
                             {"ntsc_4x3", false, false},
                             {"ntsc_16x9", false, true}};

// First and last column and row holding a sample above `threshold`, looking at
// every `step`th sample of a picture `width` wide.
struct Extent {
    int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
    int Width() const { return right - left + 1; }
    int Height() const { return bottom - top + 1; }
};

Extent ExtentAbove(const std::vector<uint8_t>& samples, int width, int step, int threshold) {
    Extent e;
    for (size_t i = 0; i < samples.size(); i += step) {
        if (samples[i] <= threshold) continue;
        const int x = int(i / step % width), y = int(i / step / width);
        e.left = std::min(e.left, x);
        e.right = std::max(e.right, x);
        e.top = std::min(e.top, y);
        e.bottom = std::max(e.bottom, y);
    }
    return e;
}

// Background (128, 96, 64) with a white disc of the given radius at the centre.
RgbPicture DiscPicture(int width, int height, int radius) {
    RgbPicture p{width, height, {}};
    const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool disc = std::hypot(x - cx, y - cy) <= radius;
            p.rgb.insert(p.rgb.end(), {uint8_t(disc ? 255 : 128), uint8_t(disc ? 255 : 96),
                                       uint8_t(disc ? 255 : 64)});
        }
    }
    return p;
}

struct FitCase {
    std::string name;
    FrameCase frame;
    FitMode mode;
    int width, height;
};

void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }

const std::pair<const char*, FitMode> kModes[] = {
    {"pad", FitMode::kPad}, {"crop", FitMode::kCrop}, {"stretch", FitMode::kStretch}};

std::vector<FitCase> FitCases() {
    std::vector<FitCase> cases;
    for (const FrameCase& frame : kFrames) {
        for (const auto& mode : kModes) {
            for (int height : {1080, 480}) {
                const int width = height == 1080 ? 1920 : 640;
                cases.push_back({std::to_string(width) + "x" + std::to_string(height) + "_" +
                                     mode.first + "_" + frame.name,
                                 frame, mode.second, width, height});
            }
        }
    }
    return cases;
}

class Fit : public ::testing::TestWithParam<FitCase> {};

// On the display a sample is num/den as wide as a line is high. Pad shows the
// whole picture as large as the active width and the lines allow; crop covers
// the frame at the picture's aspect; stretch fills the frame.
TEST_P(Fit, CentredAtItsSizeAndRound) {
    const FitCase& c = GetParam();
    const Frame frame = FrameFor(c.frame.pal, c.frame.wide);
    const double aspect = double(frame.aspectNum) / frame.aspectDen;
    const int radius = c.height / 4;
    RgbPicture out;
    std::string error;
    ASSERT_TRUE(FitPicture(DiscPicture(c.width, c.height, radius), c.mode, frame, Rgb8{16, 32, 48},
                           &out, &error))
        << error;
    ASSERT_EQ(out.rgb.size(), size_t(frame.width) * frame.height * 3);
    const Extent picture = ExtentAbove(out.rgb, frame.width, 3, 64);
    const Extent disc = ExtentAbove(out.rgb, frame.width, 3, 191);
    ASSERT_GE(disc.right, 0) << "no disc";
    // Centred, the odd sample or line to the right or below.
    EXPECT_EQ(picture.left, (frame.width - picture.Width()) / 2);
    EXPECT_EQ(picture.top, (frame.height - picture.Height()) / 2);
    EXPECT_NEAR(disc.left + disc.right, frame.width - 1, 2);
    EXPECT_NEAR(disc.top + disc.bottom, frame.height - 1, 2);
    // Scale of the source across (samples) and down (lines).
    double down = double(picture.Height()) / c.height, across = double(picture.Width()) / c.width;
    if (c.mode == FitMode::kPad) {
        EXPECT_TRUE(picture.Width() == frame.activeWidth || picture.Height() == frame.height);
        EXPECT_LE(picture.Width(), frame.activeWidth);
        EXPECT_NEAR(across * aspect / down, 1.0, 0.004);
    } else {
        EXPECT_EQ(picture.Width(), frame.width);
        EXPECT_EQ(picture.Height(), frame.height);
    }
    if (c.mode == FitMode::kCrop) {
        down = std::max(double(frame.height) / c.height, frame.width * aspect / c.width);
        across = down / aspect;
    }
    // The disc scales with the picture, so it is round wherever across x aspect = down.
    EXPECT_NEAR(disc.Width(), 2.0 * radius * across, 2.0);
    EXPECT_NEAR(disc.Height(), 2.0 * radius * down, 2.0);
    // Flat colours pass the resampler unchanged; the pad is the pad colour.
    const auto rgb = [&](int x, int y) {
        const uint8_t* p = &out.rgb[(size_t(y) * frame.width + x) * 3];
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(rgb(frame.width / 2, frame.height / 2), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(rgb(frame.width / 2, (picture.top + disc.top) / 2), (std::vector<int>{128, 96, 64}));
    if (c.mode == FitMode::kPad) {
        EXPECT_EQ(rgb(0, 0), (std::vector<int>{16, 32, 48}));
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, Fit, ::testing::ValuesIn(FitCases()),
                         ::testing::PrintToStringParamName());

// The pad each level mode is given converts to video black.
TEST(StudioBlack, ConvertsToVideoBlackInEachLevelMode) {
    TempDir dir;
    for (int levelMode : {0, 1, 2}) {
        const Rgb8 black = StudioBlack(levelMode);
        RgbPicture flat{96, 64, {}};
        for (int i = 0; i < 96 * 64; ++i)
            flat.rgb.insert(flat.rgb.end(), {black.r, black.g, black.b});
        const std::string path = dir / std::to_string(levelMode);
        YuvPlanes planes;
        std::string error;
        ASSERT_TRUE(WriteRgbTiff(path, flat, &error)) << error;
        ASSERT_TRUE(ReferencePlanesFromTiff(path, levelMode, &planes, &error)) << error;
        EXPECT_EQ(planes.y[0], 16) << levelMode;
        EXPECT_EQ(planes.cb[0], 128) << levelMode;
        EXPECT_EQ(planes.cr[0], 128) << levelMode;
    }
}

// A pixel, strips either way (stretched too) and the largest picture fit the frame; a picture
// whose samples do not match its size is refused.
TEST(FitPicture, DegenerateShapes) {
    const FitCase shapes[] = {{"pixel", {}, FitMode::kCrop, 1, 1},
                              {"wide_strip", {}, FitMode::kPad, 65535, 1},
                              {"tall_strip", {}, FitMode::kCrop, 1, 65535},
                              {"largest", {}, FitMode::kStretch, 8192, 8192},
                              {"wide_stretch", {}, FitMode::kStretch, 25000, 8},
                              {"tall_stretch", {}, FitMode::kStretch, 1, 65535},
                              {"wide_pad", {}, FitMode::kPad, 25000, 8}};
    RgbPicture out;
    std::string error;
    for (const FitCase& c : shapes) {
        RgbPicture in{c.width, c.height, std::vector<uint8_t>(size_t(c.width) * c.height * 3, 200)};
        ASSERT_TRUE(FitPicture(in, c.mode, FrameFor(false, true), Rgb8{}, &out, &error)) << c.name;
        EXPECT_EQ(out.rgb.size(), size_t(720) * 480 * 3) << c.name;
        // Stretched or cropped, the picture covers the whole frame, its corners too.
        if (c.mode != FitMode::kPad) {
            EXPECT_EQ(out.rgb[0], 200) << c.name;
            EXPECT_EQ(out.rgb[out.rgb.size() - 1], 200) << c.name;
        }
    }
    RgbPicture inconsistent{10, 10, std::vector<uint8_t>(299)};
    EXPECT_FALSE(
        FitPicture(inconsistent, FitMode::kPad, FrameFor(true, false), Rgb8{}, &out, &error));
}

}  // namespace
