// pictor encode --fit: pictures of any size scaled into the frame, checked on
// the decoded stream: the test pattern's disc is round on the display the
// stream states, and the picture's edges land where the mode puts them.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "cli/cli_support.h"
#include "support/decoders.h"

namespace {

// A PNG of mid grey with a white disc at its centre (its radius a quarter of
// the height), fitted into a frame.
// parNum/parDen: the width of a sample over its height on the display (BT.601:
// PAL 4:3 59:54, PAL 16:9 118:81, NTSC 4:3 10:11, NTSC 16:9 40:33). shape: the
// disc's displayed width over its height (1: round). left..bottom: where the
// picture lies in the frame, the rest being the black pad.
struct FitCase {
    const char* name;
    int width, height;
    std::string args;
    int frameHeight;
    int parNum, parDen;
    double shape;
    int left, right, top, bottom;
};

void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }

// Worked by hand: a picture of aspect A fills h lines over h x A x parDen / parNum
// samples; pad keeps it within the 702 (PAL) or 704 (NTSC) active samples.
const FitCase kFits[] = {
    {"HdPadPal4x3", 1920, 1080, "--standard pal --aspect 4:3 --fit pad", 576, 59, 54, 1.0, 9, 710,
     72, 502},
    {"VgaPadPal16x9", 640, 480, "--standard pal --aspect 16:9 --fit pad", 576, 118, 81, 1.0, 96,
     622, 0, 575},
    {"VgaCropNtsc16x9", 640, 480, "--standard ntsc --aspect 16:9 --fit crop", 480, 40, 33, 1.0, 0,
     719, 0, 479},
    // 720 / 1920 of the width and 480 / 1080 of the height: (0.375 x 10 / 11) / (4 / 9).
    {"HdStretchNtsc4x3", 1920, 1080, "--standard ntsc --aspect 4:3 --fit stretch", 480, 10, 11,
     0.767, 0, 719, 0, 479},
};

// First and last column and row of the samples above `threshold`.
struct Extent {
    int left = -1, right = -1, top = -1, bottom = -1;
};

Extent ExtentAbove(const std::vector<uint8_t>& plane, int width, int threshold) {
    Extent e;
    const int height = static_cast<int>(plane.size() / static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (plane[static_cast<size_t>(y) * width + x] <= threshold) continue;
            if (e.left < 0 || x < e.left) e.left = x;
            if (x > e.right) e.right = x;
            if (e.top < 0) e.top = y;
            e.bottom = y;
        }
    }
    return e;
}

class Fit : public ::testing::TestWithParam<FitCase> {};

TEST_P(Fit, DiscIsRoundAndThePictureLandsInPlace) {
    const FitCase& c = GetParam();
    CliFolder folder;
    const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    const std::string cx = std::to_string(c.width / 2), cy = std::to_string(c.height / 2);
    ASSERT_TRUE(folder.Make("convert -size " + size + " xc:gray50 -fill white -draw 'circle " + cx +
                            "," + cy + " " + cx + "," + std::to_string(c.height / 4) +
                            "' disc.png"));
    const CliResult r = folder.Run("encode disc.png -o disc.m2v -q --target 900000 " + c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(folder.TmpIsEmpty());
    const DecoderVerdict verdict = DecodeStream(folder.dir / "disc.m2v", 720, c.frameHeight);
    ASSERT_EQ(DecoderProblems(verdict, 720, c.frameHeight), "");

    // Black codes at Y 16, grey 128 near 126, white at 235.
    const std::vector<uint8_t>& y = verdict.ffmpeg.y;
    const Extent picture = ExtentAbove(y, 720, (16 + 126) / 2);
    EXPECT_NEAR(picture.left, c.left, 2);
    EXPECT_NEAR(picture.right, c.right, 2);
    EXPECT_NEAR(picture.top, c.top, 2);
    EXPECT_NEAR(picture.bottom, c.bottom, 2);

    // The pad is studio black: a sample in the first block, all of it pad.
    if (c.left > 8 || c.top > 8) {
        EXPECT_NEAR(y[2 * 720 + 2], 16, 2);
    }

    const Extent disc = ExtentAbove(y, 720, (126 + 235) / 2);
    const double across = (disc.right - disc.left + 1) * double(c.parNum) / c.parDen;
    const double down = disc.bottom - disc.top + 1;
    EXPECT_NEAR(across / down, c.shape, 0.02)
        << disc.right - disc.left + 1 << " samples by " << down << " lines";
    EXPECT_NEAR(disc.left + disc.right, 719, 3);
    EXPECT_NEAR(disc.top + disc.bottom, c.top + c.bottom, 3);
}

INSTANTIATE_TEST_SUITE_P(Modes, Fit, ::testing::ValuesIn(kFits),
                         [](const ::testing::TestParamInfo<FitCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
