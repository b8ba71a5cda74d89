// Whole streams made of the real header writers and the macroblock coder at a
// fixed quantiser, read back by real decoders and compared with an exact
// reconstruction of the coded levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "coding/bit_writer.h"
#include "coding/headers.h"
#include "coding/intra_matrix.h"
#include "coding/macroblock_coder.h"
#include "coding/quantise.h"
#include "coding/scan.h"
#include "coding/vlc_tables.h"
#include "convert/planes.h"
#include "params/settings.h"
#include "support/decoders.h"
#include "support/files.h"
#include "support/state.h"

namespace {

struct Yuv {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y, cb, cr;  // 4:2:0
};

struct CodedPicture {
    std::vector<int32_t> levels;  // kMacroblockValues per macroblock, raster order of macroblocks
    std::vector<int32_t> quantisers;
};

void SetUpSettings(int width, int height, int dcPrecision) {
    SetDefaultSettings();
    gSettings.FrameWidth = width;
    gSettings.FrameHeight = height;
    gSettings.XMBlock = gSettings.MBlockPerSlice = width / 16;
    gSettings.YMBlock = height / 16;
    gSettings.DisplayHorDimen = width;
    gSettings.DisplayVerDimen = height;
    gSettings.Target = 1000000;
    gSettings.ColourPrimaries = gSettings.TransferCharact = gSettings.MatrixCoefficients = 5;
    gSettings.IntraDCPrecision = dcPrecision;
    ASSERT_EQ(DeriveSettings(), 0);
    for (int i = 0; i < 64; ++i) gIntraMatrix.weights[i] = kDefaultIntraMatrix[i];
    gIntraMatrix.weights[0] = 8;
}

// Codes every macroblock once, or first one step finer and then again as a retry.
// `levelsOf` may supply the levels of a macroblock instead of the picture.
template <typename LevelSource>
void WriteStream(const std::string& path, const std::vector<int32_t>& q, bool retries, LevelSource levelsOf,
                 CodedPicture* coded) {
    const int mbCount = gSettings.MBCount;
    std::vector<int32_t> types(mbCount, 1);
    std::vector<int32_t> quantisers(q);
    coded->levels.assign(static_cast<size_t>(mbCount) * kMacroblockValues, 0);
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ResetBitWriter();
    gBitWriter.out = file;
    WriteSequenceHeader();
    WriteSequenceDisplayExtension();
    WriteGopHeader();
    WritePictureHeader();
    int32_t samples[kMacroblockValues], coefficients[kMacroblockValues];
    for (int row = 0; row < gSettings.YMBlock; ++row) {
        for (int col = 0; col < gSettings.XMBlock; ++col) {
            const int mb = row * gSettings.XMBlock + col;
            int32_t* levels = coded->levels.data() + static_cast<size_t>(mb) * kMacroblockValues;
            types[mb] = (col != 0 && quantisers[mb] != quantisers[mb - 1]) ? 2 : 1;
            const int finalQ = q[mb];
            const int firstAttempt = (retries && finalQ > 1) ? 0 : 1;
            for (int attempt = firstAttempt; attempt < 2; ++attempt) {
                quantisers[mb] = attempt == 0 ? finalQ - 1 : finalQ;
                if (col != 0) types[mb] = quantisers[mb] != quantisers[mb - 1] ? 2 : 1;
                StartCodeList();
                if (!levelsOf(mb, levels)) {
                    FetchMacroblock(gSettings.CodedXOffset + 16 * col, gSettings.CodedYOffset + 16 * row, samples);
                    TransformAndQuantise(quantisers[mb], samples, coefficients, levels);
                }
                EncodeMacroblock(row, col, levels, quantisers.data(), types.data(), col == 0,
                                 attempt > firstAttempt ? 1 : 0);
            }
            FlushQueue();
        }
        AlignToByte();
    }
    WriteSequenceEnd();
    gBitWriter.out = nullptr;
    std::fclose(file);
    coded->quantisers = quantisers;
}

// Intra inverse quantisation with saturation and mismatch control, exact
// inverse DCT, samples clamped to 0..255.
void ReconstructBlock(const int32_t* level, int q, int dcPrecision, uint8_t* out, int stride) {
    static double basis[8][8];
    if (basis[0][0] == 0.0) {
        const double pi = std::acos(-1.0);
        for (int x = 0; x < 8; ++x)
            for (int u = 0; u < 8; ++u) basis[x][u] = (u == 0 ? std::sqrt(0.5) : 1.0) * std::cos((2 * x + 1) * u * pi / 16);
    }
    int32_t f[64];
    int32_t sum = 0;
    for (int i = 0; i < 64; ++i) {
        int32_t v = i == 0 ? level[0] * (8 >> dcPrecision) : (2 * level[i] * gIntraMatrix.weights[i] * (2 * q)) / 32;
        v = std::max(-2048, std::min(2047, v));
        f[i] = v;
        sum += v;
    }
    if ((sum & 1) == 0) f[63] += (f[63] & 1) ? -1 : 1;
    double rows[64];
    for (int v = 0; v < 8; ++v)
        for (int x = 0; x < 8; ++x) {
            double s = 0.0;
            for (int u = 0; u < 8; ++u) s += basis[x][u] * f[8 * v + u];
            rows[8 * v + x] = s;
        }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double s = 0.0;
            for (int v = 0; v < 8; ++v) s += basis[y][v] * rows[8 * v + x];
            const double sample = std::floor(s / 4.0 + 0.5);
            out[y * stride + x] = static_cast<uint8_t>(std::max(0.0, std::min(255.0, sample)));
        }
}

Yuv Reconstruct(const CodedPicture& coded, int width, int height, int dcPrecision) {
    Yuv r;
    r.width = width;
    r.height = height;
    r.y.assign(static_cast<size_t>(width) * height, 0);
    r.cb.assign(static_cast<size_t>(width) * height / 4, 0);
    r.cr = r.cb;
    for (int row = 0; row < height / 16; ++row)
        for (int col = 0; col < width / 16; ++col) {
            const int mb = row * (width / 16) + col;
            const int32_t* levels = coded.levels.data() + static_cast<size_t>(mb) * kMacroblockValues;
            const int q = coded.quantisers[mb];
            for (int b = 0; b < 4; ++b)
                ReconstructBlock(levels + 64 * b, q, dcPrecision,
                                 &r.y[static_cast<size_t>(16 * row + 8 * (b / 2)) * width + 16 * col + 8 * (b % 2)], width);
            ReconstructBlock(levels + 256, q, dcPrecision, &r.cb[static_cast<size_t>(8 * row) * (width / 2) + 8 * col], width / 2);
            ReconstructBlock(levels + 320, q, dcPrecision, &r.cr[static_cast<size_t>(8 * row) * (width / 2) + 8 * col], width / 2);
        }
    return r;
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return 256;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

// Both decoders accept the stream silently and stay within 2 of the reconstruction.
void CheckDecoders(const std::string& path, const Yuv& expected) {
    const DecoderVerdict verdict = DecodeStream(path, expected.width, expected.height);
    EXPECT_EQ(verdict.ffmpegMessages, "");
    EXPECT_EQ(DecoderProblems(verdict, expected.width, expected.height), "");
    for (const DecodedPicture* d : {&verdict.ffmpeg, &verdict.mpeg2dec}) {
        EXPECT_LE(MaxDifference(d->y, expected.y), 2);
        EXPECT_LE(MaxDifference(d->cb, expected.cb), 2);
        EXPECT_LE(MaxDifference(d->cr, expected.cr), 2);
    }
}

Yuv Synthetic(int width, int height) {
    Yuv p;
    p.width = width;
    p.height = height;
    std::mt19937 random(7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int v;
            if (y < height / 3) v = (x * 255) / (width - 1);                        // ramp
            else if (y < 2 * height / 3) v = ((x / 4 + y / 4) % 2) ? 255 : 0;       // sharp checks
            else v = static_cast<int>(random() % 256);                             // noise
            p.y.push_back(static_cast<uint8_t>(v));
        }
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x) {
            p.cb.push_back(static_cast<uint8_t>((x * 7 + y * 3) % 256));
            p.cr.push_back(static_cast<uint8_t>(x % 16 < 8 ? 16 : 240));
        }
    return p;
}

// A crop of the astronaut photograph through ImageMagick, converted with the BT.601 equations.
Yuv Natural() {
    constexpr int kWidth = 352, kHeight = 288;
    Yuv p;
    TempDir dir;
    const std::string raw = dir / "astronaut.rgb";
    const std::string source = TestDataPath("coding/data/astronaut_352x288.png");
    if (RunCommand("convert '" + source + "' -depth 8 'rgb:" + raw + "' 2>&1") != 0) return p;
    const std::vector<uint8_t> rgb = ReadFileBytes(raw);
    if (rgb.size() != static_cast<size_t>(kWidth) * kHeight * 3) return p;
    p.width = kWidth;
    p.height = kHeight;
    std::vector<double> cb(kWidth * kHeight), cr(kWidth * kHeight);
    for (size_t i = 0; i < cb.size(); ++i) {
        const double r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
        p.y.push_back(static_cast<uint8_t>(std::lround(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255)));
        cb[i] = 128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255;
        cr[i] = 128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255;
    }
    for (int y = 0; y < kHeight / 2; ++y)
        for (int x = 0; x < kWidth / 2; ++x) {
            const size_t i = static_cast<size_t>(2 * y) * kWidth + 2 * x;
            p.cb.push_back(static_cast<uint8_t>(std::lround((cb[i] + cb[i + 1] + cb[i + kWidth] + cb[i + kWidth + 1]) / 4)));
            p.cr.push_back(static_cast<uint8_t>(std::lround((cr[i] + cr[i + 1] + cr[i + kWidth] + cr[i + kWidth + 1]) / 4)));
        }
    return p;
}

struct StreamCase {
    const char* name;
    bool natural;
    int q;  // 0: a different quantiser in every macroblock
    int dcPrecision;
    bool retries;
    double minPsnr;  // reconstruction against the source, luma
};

class StreamDecode : public ::testing::TestWithParam<StreamCase> {
protected:
    void SetUp() override { ResetAllState(); }
    void TearDown() override { gPlanes.y = gPlanes.cb = gPlanes.cr = nullptr; }
};

TEST_P(StreamDecode, DecodersAgreeWithReconstruction) {
    const StreamCase& c = GetParam();
    Yuv picture = c.natural ? Natural() : Synthetic(192, 128);
    ASSERT_GT(picture.width, 0) << "the natural picture could not be converted";
    SetUpSettings(picture.width, picture.height, c.dcPrecision);
    gPlanes.y = picture.y.data();
    gPlanes.cb = picture.cb.data();
    gPlanes.cr = picture.cr.data();
    std::vector<int32_t> q(gSettings.MBCount, c.q);
    for (int mb = 0; c.q == 0 && mb < gSettings.MBCount; ++mb) q[mb] = 1 + (mb * 7) % 31;
    TempDir dir;
    const std::string path = dir / "picture.m2v";
    CodedPicture coded;
    WriteStream(path, q, c.retries, [](int, int32_t*) { return false; }, &coded);
    const Yuv expected = Reconstruct(coded, picture.width, picture.height, c.dcPrecision);
    CheckDecoders(path, expected);
    const double psnr = Psnr(expected.y.data(), picture.y.data(), picture.y.size());
    RecordProperty("luma_psnr", std::to_string(psnr));
    EXPECT_GT(psnr, c.minPsnr);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, StreamDecode,
    ::testing::Values(StreamCase{"SyntheticQ1", false, 1, 0, false, 45}, StreamCase{"SyntheticQ8", false, 8, 1, false, 28},
                      StreamCase{"SyntheticQ31", false, 31, 2, false, 17},
                      StreamCase{"SyntheticVaryingQRetried", false, 0, 0, true, 21},
                      StreamCase{"NaturalQ1", true, 1, 2, false, 44}, StreamCase{"NaturalQ8", true, 8, 0, false, 35},
                      StreamCase{"NaturalQ31", true, 31, 1, true, 29}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return std::string(info.param.name); });

// Levels built directly: every pair of the AC table with both signs, one per
// block, escapes of long runs and of the largest levels, and DC differentials
// of every size. Flat weights of 8 at q 31 make each coefficient 31 x its
// level: a level off by one moves samples by more than the tolerance, while
// the decoders' inverse transforms stay in their accurate range.
TEST(StreamDecodeLevels, EveryTableCodeAndEscapes) {
    ResetAllState();
    SetUpSettings(192, 128, 0);
    for (int32_t& w : gIntraMatrix.weights) w = 8;
    std::vector<std::vector<int32_t>> blocks;
    auto put = [&](int run, int32_t level) {
        std::vector<int32_t> block(64, 0);
        const ScanPosition p = kZigZagScan[1 + run];
        block[p.column + 8 * p.row] = level;
        blocks.push_back(block);
    };
    for (int i = 0; i < 2 * kAcPairs; ++i) put(kAcTable[i].run, kAcTable[i].level);
    ASSERT_EQ(blocks.size() % kBlocksPerMacroblock, 0u);
    for (int32_t level : {41, -41, 19, -300, 2047, -2047}) put(0, level);
    for (int run : {32, 40, 62}) put(run, run % 2 ? -2 : 3);
    const int mbCount = gSettings.MBCount;
    const int blockCount = mbCount * kBlocksPerMacroblock;
    ASSERT_LE(static_cast<int>(blocks.size()), blockCount);
    // DC levels walk through differentials of every size 0..8 (0..255 at precision 0).
    std::vector<int32_t> all(static_cast<size_t>(blockCount) * 64, 0);
    const int32_t dcs[] = {128, 128, 129, 127, 131, 124, 140, 110, 150, 86, 214, 0, 255, 0, 64};
    for (int b = 0; b < blockCount; ++b) {
        if (b < static_cast<int>(blocks.size())) std::copy(blocks[b].begin(), blocks[b].end(), all.begin() + 64 * b);
        all[64 * static_cast<size_t>(b)] = dcs[(b / kBlocksPerMacroblock) % 15];
        if (b % kBlocksPerMacroblock == 1) all[64 * static_cast<size_t>(b)] = dcs[(b / kBlocksPerMacroblock + 7) % 15];
    }
    TempDir dir;
    const std::string path = dir / "levels.m2v";
    CodedPicture coded;
    // The macroblock of the largest escapes takes q 1: at q 31 they would need the
    // decoder's saturation, which one decoder leaves to its inverse transform.
    std::vector<int32_t> q(mbCount, 31);
    q[2 * kAcPairs / kBlocksPerMacroblock] = 1;
    WriteStream(path, q, false,
                [&](int mb, int32_t* levels) {
                    std::copy(all.begin() + static_cast<size_t>(mb) * kMacroblockValues,
                              all.begin() + static_cast<size_t>(mb + 1) * kMacroblockValues, levels);
                    return true;
                },
                &coded);
    CheckDecoders(path, Reconstruct(coded, 192, 128, 0));
}

}  // namespace
