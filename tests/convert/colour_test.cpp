// The vector conversion against the per-pixel formulas in each level mode: the luma and the
// colour differences of every 8-bit pixel, the chroma of every sum of two pixels' differences,
// and whole rows of random pixels, tails and odd widths included.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "convert/colour.h"
#include "support/state.h"

namespace {

struct LevelCase {
    const char* name;
    ColourLevels levels;
};

void PrintTo(const LevelCase& c, std::ostream* os) { *os << c.name; }

const LevelCase kLevelCases[] = {{"Video", {0, 0}}, {"Full", {1, 0}}, {"FullWideClip", {1, 1}}};

// A pixel's colour difference lies within -32768 .. 32768.
constexpr int32_t kLeastPairSum = -65536;
constexpr int32_t kMostPairSum = 65536;

// The 256 blue levels of one red and green level.
struct BlueRow {
    std::vector<uint8_t> red = std::vector<uint8_t>(256);
    std::vector<uint8_t> green = std::vector<uint8_t>(256);
    std::vector<uint8_t> blue = std::vector<uint8_t>(256);

    BlueRow() {
        for (int b = 0; b < 256; ++b) blue[b] = static_cast<uint8_t>(b);
    }
    void Set(int r, int g) {
        std::fill(red.begin(), red.end(), static_cast<uint8_t>(r));
        std::fill(green.begin(), green.end(), static_cast<uint8_t>(g));
    }
};

class VectorColourTest : public ::testing::TestWithParam<LevelCase> {};

// The colour differences do not depend on the levels; their extremes are those the pair sums
// below take: -32767 and 32768.
TEST_P(VectorColourTest, EveryPixelsLumaIsTheFormulas) {
    const ColourLevels levels = GetParam().levels;
    BlueRow row;
    std::vector<uint8_t> y(256), cb(128), cr(128);
    std::vector<int32_t> blueDifferences(256), redDifferences(256);
    for (int r = 0; r < 256; ++r) {
        for (int g = 0; g < 256; ++g) {
            row.Set(r, g);
            if (!ConvertRowVector(row.red.data(), row.green.data(), row.blue.data(), 256, levels,
                                  y.data(), cb.data(), cr.data()) ||
                !ColourDifferencesVector(row.red.data(), row.green.data(), row.blue.data(), 256,
                                         blueDifferences.data(), redDifferences.data()))
                GTEST_SKIP() << "no vector conversion on this processor";
            for (int b = 0; b < 256; ++b) {
                int32_t wantBlue = 0, wantRed = 0;
                ColourDifferencesOf(r, g, b, &wantBlue, &wantRed);
                ASSERT_EQ(y[b], LumaOf(r, g, b, levels)) << r << " " << g << " " << b;
                ASSERT_EQ(blueDifferences[b], wantBlue) << r << " " << g << " " << b;
                ASSERT_EQ(redDifferences[b], wantRed) << r << " " << g << " " << b;
            }
        }
    }
}

TEST_P(VectorColourTest, EveryPairSumsChromaIsTheFormulas) {
    const ColourLevels levels = GetParam().levels;
    std::vector<int32_t> sums;
    for (int32_t s = kLeastPairSum; s <= kMostPairSum; ++s) sums.push_back(s);
    while (sums.size() % 8 != 0) sums.push_back(kMostPairSum);
    std::vector<uint8_t> chroma(sums.size());
    const int32_t count = static_cast<int32_t>(sums.size());
    if (!ChromaOfSumsVector(sums.data(), count, levels, chroma.data()))
        GTEST_SKIP() << "no vector conversion on this processor";
    for (size_t n = 0; n < sums.size(); ++n)
        ASSERT_EQ(chroma[n], ChromaOfSum(sums[n], levels)) << sums[n];
}

TEST_P(VectorColourTest, RandomRowsAreTheFormulas) {
    const ColourLevels levels = GetParam().levels;
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> sample(0, 255);
    for (int32_t width : {1, 2, 31, 32, 33, 63, 64, 65, 97, 720, 721}) {
        std::vector<uint8_t> red(width), green(width), blue(width);
        std::vector<uint8_t> y(width), cb(width / 2), cr(width / 2);
        for (int pass = 0; pass < 20; ++pass) {
            for (int32_t n = 0; n < width; ++n) {
                red[n] = static_cast<uint8_t>(sample(random));
                green[n] = static_cast<uint8_t>(sample(random));
                blue[n] = static_cast<uint8_t>(sample(random));
            }
            if (!ConvertRowVector(red.data(), green.data(), blue.data(), width, levels, y.data(),
                                  cb.data(), cr.data()))
                GTEST_SKIP() << "no vector conversion on this processor";
            for (int32_t n = 0; n < width; ++n)
                ASSERT_EQ(y[n], LumaOf(red[n], green[n], blue[n], levels)) << width << " " << n;
            for (int32_t k = 0; k < width / 2; ++k) {
                const uint8_t p[3] = {red[2 * k], green[2 * k], blue[2 * k]};
                const uint8_t q[3] = {red[2 * k + 1], green[2 * k + 1], blue[2 * k + 1]};
                uint8_t wantCb = 0, wantCr = 0;
                ChromaOfPair(p, q, levels, &wantCb, &wantCr);
                ASSERT_EQ(cb[k], wantCb) << width << " " << k;
                ASSERT_EQ(cr[k], wantCr) << width << " " << k;
            }
        }
    }
}

// Rows of interleaved samples, as a strip or the caller's memory holds them, with row padding:
// every pixel's luma and every pair's chroma are the formulas', for widths that end within a
// vector step and rows the job's threads split.
TEST_P(VectorColourTest, InterleavedRowsAreTheFormulas) {
    ResetAllState();
    const ColourLevels levels = GetParam().levels;
    std::mt19937 random(7);
    for (uint32_t width : {1u, 2u, 30u, 32u, 34u, 95u, 256u, 258u, 720u}) {
        const uint32_t rows = 19;
        const int64_t stride = 3 * width + 5;
        std::vector<uint8_t> pixels(static_cast<size_t>(stride) * rows);
        for (uint8_t& v : pixels) v = static_cast<uint8_t>(random());
        std::vector<uint8_t> y(width * (rows + 2)), cb(width / 2 * (rows + 2)), cr(cb);
        const PicturePlanes planes{y.data(), cb.data(), cr.data(), nullptr, nullptr, nullptr};
        ConvertInterleavedRgb(pixels.data(), stride, planes, width, 2, rows, levels);
        for (uint32_t r = 0; r < rows; ++r) {
            const uint8_t* row = pixels.data() + r * stride;
            for (uint32_t n = 0; n < width; ++n) {
                const uint8_t* p = row + 3 * n;
                ASSERT_EQ(y[(r + 2) * width + n], LumaOf(p[0], p[1], p[2], levels))
                    << width << " " << r << " " << n;
            }
            for (uint32_t k = 0; k < width / 2; ++k) {
                uint8_t wantCb = 0, wantCr = 0;
                ChromaOfPair(row + 6 * k, row + 6 * k + 3, levels, &wantCb, &wantCr);
                ASSERT_EQ(cb[(r + 2) * (width / 2) + k], wantCb) << width << " " << r << " " << k;
                ASSERT_EQ(cr[(r + 2) * (width / 2) + k], wantCr) << width << " " << r << " " << k;
            }
        }
    }
    ResetAllState();
}

INSTANTIATE_TEST_SUITE_P(Levels, VectorColourTest, ::testing::ValuesIn(kLevelCases),
                         ::testing::PrintToStringParamName());

}  // namespace
