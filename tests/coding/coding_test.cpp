// The coding core where whole pictures do not reach: the progressive pan-scan picture header,
// every transform variant against the reference bit for bit, the quantiser on every reachable
// triple, and every code of the tables, counted as it is written, through ffmpeg and mpeg2dec,
// which must follow an exact reconstruction of the levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "coding/bit_writer.h"
#include "coding/headers.h"
#include "coding/macroblock_coder.h"
#include "coding/quantise.h"
#include "coding/tables.h"
#include "coding/transform.h"
#include "params/settings.h"
#include "support/decoders.h"
#include "support/files.h"
#include "support/state.h"

namespace {

// A progressive sequence shows its frame once: its pan-scan picture carries one frame centre
// offset, the horizontal one in two's complement.
TEST(Headers, ProgressivePanScanCarriesOneFrameCentreOffset) {
    ResetAllState();
    tSettings->PanScan = tSettings->ProgressiveSeque = 1;
    tSettings->PanScanHorOffset = -32;
    ASSERT_EQ(DeriveSettings(), 0);
    TempDir dir;
    tBitWriter->out = std::fopen((dir / "h.m2v").c_str(), "wb");
    WritePictureHeader(*tSettings);
    FlushBitWriter();
    std::fclose(tBitWriter->out);
    tBitWriter->out = nullptr;
    const std::vector<uint8_t> expected = {0x00, 0x00, 0x01, 0x00, 0x00, 0x0F, 0xFF, 0xF8, 0x00,
                                           0x00, 0x01, 0xB5, 0x8F, 0xFF, 0xF3, 0xC9, 0x80, 0x00,
                                           0x00, 0x01, 0xB5, 0x7F, 0xFE, 0x08, 0x00, 0x04};
    EXPECT_EQ(ReadFileBytes(dir / "h.m2v"), expected);
}

// Blocks of samples beyond what 8-bit planes give, reproducible from a seed: -1000..1000, beyond
// the clamp, or only -256 and 255. Samples of planes, exact halves among their results, go through
// every variant on the end-to-end table.
enum class BlockKind { kBeyondTheClamp, kExtremes };

void MakeBlock(BlockKind kind, std::mt19937& random, int32_t* block) {
    for (int i = 0; i < 64; ++i) {
        if (kind == BlockKind::kBeyondTheClamp) {
            block[i] = static_cast<int32_t>(random() % 2001) - 1000;
        } else {
            block[i] = random() % 2 ? 255 : -256;
        }
    }
}

}  // namespace

// With the variant's type, where the printer finds it.
void PrintTo(DctVariant variant, std::ostream* os) { *os << DctVariantName(variant); }

namespace {

class TransformVariant : public ::testing::TestWithParam<DctVariant> {};

// Every variant that runs here gives ForwardDct's bits on blocks of both kinds, clamped in place,
// any count: whole groups of lanes and a part of one.
TEST_P(TransformVariant, GivesTheReferenceBits) {
    const DctVariant variant = GetParam();
    if (!DctVariantRuns(variant)) GTEST_SKIP() << "this processor does not run it";
    std::mt19937 random(2024);
    constexpr int kCount = 4000;
    for (BlockKind kind : {BlockKind::kBeyondTheClamp, BlockKind::kExtremes}) {
        std::vector<int32_t> blocks(64 * kCount), reference(64 * kCount), out(64 * kCount);
        std::vector<int32_t*> in(kCount), to(kCount);
        for (int n = 0; n < kCount; ++n) {
            MakeBlock(kind, random, &blocks[64 * n]);
            in[n] = &blocks[64 * n];
            to[n] = &out[64 * n];
        }
        std::vector<int32_t> samples = blocks;
        for (int n = 0; n < kCount; ++n) ForwardDct(&samples[64 * n], &reference[64 * n]);
        ForwardDctBlocks(variant, in.data(), to.data(), kCount - 3);
        ForwardDctBlocks(variant, in.data() + kCount - 3, to.data() + kCount - 3, 3);
        ASSERT_EQ(blocks, samples) << "samples clamped in place";
        ASSERT_TRUE(out == reference) << static_cast<int>(kind);
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, TransformVariant, ::testing::ValuesIn(kDctVariants),
                         ::testing::PrintToStringParamName());

// Level of coefficient c with weight w at quantiser_scale_code q by integer divisions.
int32_t DividedLevel(int32_t c, int32_t w, int q) {
    const int32_t magnitude = c < 0 ? -c : c;
    const int32_t v = (16 * magnitude + w / 2) / w;
    const int32_t level = std::min((v + (3 * q + 2) / 4) / (2 * q), 2047);
    return c < 0 ? -level : level;
}

// The quantiser divides by multiplying with single-precision reciprocals; on every coefficient
// the transform can give (-2048..2048), with every weight 1..255 and every q 1..31, its level is
// that of the integer divisions, and its non-zero bits mark exactly the non-zero levels, with the
// vector code of each instruction set that runs here.
class QuantiserVariant : public ::testing::TestWithParam<DctVariant> {};

TEST_P(QuantiserVariant, DivisionFreeOnEveryReachableTriple) {
    if (!DctVariantRuns(GetParam())) GTEST_SKIP() << "this processor does not run it";
    ResetAllState();
    constexpr int kValues = 2 * 2048 + 1;
    constexpr int kMacroblocks = (kValues + 6 * 63 - 1) / (6 * 63);
    std::vector<int16_t> coefficients(kMacroblocks * kMacroblockValues, 0);
    for (int i = 0; i < kValues; ++i) {
        const int mb = i / (6 * 63), b = i / 63 % 6, k = 1 + i % 63;
        coefficients[mb * kMacroblockValues + 64 * b + k] = static_cast<int16_t>(i - 2048);
    }
    ScanQuantiser quantiser;
    ScannedLevels levels;
    for (int32_t w = 1; w <= 255; ++w) {
        std::fill(tIntraMatrix->weights, tIntraMatrix->weights + 64, w);
        PrepareScanQuantiser(tIntraMatrix->weights, &quantiser, GetParam());
        for (int q = 1; q <= 31; ++q) {
            for (int mb = 0; mb < kMacroblocks; ++mb) {
                QuantiseScanned(quantiser, q, 0, &coefficients[mb * kMacroblockValues], &levels);
                for (int b = 0; b < 6; ++b) {
                    const int16_t* c = &coefficients[mb * kMacroblockValues + 64 * b];
                    uint64_t nonZero = 0;
                    for (int k = 1; k < 64; ++k) {
                        const int32_t expected = DividedLevel(c[k], w, q);
                        nonZero |= static_cast<uint64_t>(expected != 0) << k;
                        if (levels.level[b][k] != expected)
                            FAIL() << c[k] << " w " << w << " q " << q << ": " << levels.level[b][k]
                                   << ", not " << expected;
                    }
                    ASSERT_EQ(levels.nonZero[b], nonZero) << "w " << w << " q " << q;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, QuantiserVariant, ::testing::ValuesIn(kDctVariants),
                         ::testing::PrintToStringParamName());

// C(u) cos((2x+1)u pi/16), C(0) = 1/sqrt(2), C(u) = 1 otherwise.
double Basis(int x, int u) {
    return (u == 0 ? std::sqrt(0.5) : 1.0) * std::cos((2 * x + 1) * u * M_PI / 16);
}

// A decoder's block from levels in scan order under weights of 8, where a coefficient is q x its
// level (the DC 8 x its level): mismatch control, the exact inverse DCT, samples rounded and
// clamped to 0..255.
void Reconstruct(const int16_t* level, int q, uint8_t* out, int stride) {
    int32_t f[64], sum = 0;
    for (int k = 0; k < 64; ++k) {
        const int i = kZigZagScan[k].column + 8 * kZigZagScan[k].row;
        f[i] = k == 0 ? 8 * level[0] : q * level[k];
        sum += f[i];
    }
    if (sum % 2 == 0) f[63] += f[63] % 2 ? -1 : 1;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            double s = 0.0;
            for (int i = 0; i < 64; ++i) s += Basis(y, i / 8) * Basis(x, i % 8) * f[i];
            out[y * stride + x] =
                static_cast<uint8_t>(std::clamp(std::floor(s / 4 + 0.5), 0.0, 255.0));
        }
    }
}

// Levels set directly, one pair a block on a grey DC: every table pair with both signs, and
// escapes of the largest levels and of long runs. At q 31 a level off by one moves samples by
// more than the decoders' tolerance of 2. Both decoders take the stream silently and agree, and
// the coding passes count each macroblock's code as the final pass writes it.
TEST(StreamDecodeLevels, EveryTableCodeAndEscapes) {
    ResetAllState();
    constexpr int kWidth = 192, kHeight = 128, kColumns = kWidth / 16;
    tSettings->FrameWidth = tSettings->DisplayHorDimen = kWidth;
    tSettings->FrameHeight = tSettings->DisplayVerDimen = kHeight;
    tSettings->XMBlock = tSettings->MBlockPerSlice = kColumns;
    tSettings->YMBlock = kHeight / 16;
    ASSERT_EQ(DeriveSettings(), 0);
    std::fill(tIntraMatrix->weights, tIntraMatrix->weights + 64, 8);
    std::vector<ScannedLevels> levels(tSettings->MBCount);
    int block = 0;
    auto put = [&](int run, int32_t level) {
        levels[block / 6].level[block % 6][1 + run] = static_cast<int16_t>(level);
        ++block;
    };
    for (int i = 0; i < 2 * kAcPairs; ++i) put(kAcTable[i].run, kAcTable[i].level);
    for (int32_t level : {41, -41, 19, -300, 2047, -2047}) put(0, level);  // macroblock 37
    for (int run : {32, 40, 62}) put(run, run % 2 ? -2 : 3);
    // At q 31 the largest escapes would need the decoder's saturation, which one decoder leaves
    // to its inverse transform.
    constexpr int kFineMacroblock = 2 * kAcPairs / 6;
    std::vector<uint8_t> yuv(kWidth * kHeight * 3 / 2);  // Y, Cb, Cr
    RunningDc counted{};
    TempDir dir;
    ResetBitWriter();
    tBitWriter->out = std::fopen((dir / "l.m2v").c_str(), "wb");
    WriteSequenceHeader(*tSettings, tIntraMatrix->weights);
    WriteSequenceDisplayExtension(*tSettings);
    WriteGopHeader();
    WritePictureHeader(*tSettings);
    for (int mb = 0; mb < tSettings->MBCount; ++mb) {
        const int row = mb / kColumns, col = mb % kColumns;
        const int q = mb == kFineMacroblock ? 1 : 31;
        const int type = col != 0 && (mb == kFineMacroblock || mb == kFineMacroblock + 1) ? 2 : 1;
        for (int b = 0; b < 6; ++b) {
            levels[mb].level[b][0] = 128;
            levels[mb].nonZero[b] = NonZeroLevelBits(levels[mb].level[b]);
            const int at = b < 4 ? (16 * row + b / 2 * 8) * kWidth + 16 * col + b % 2 * 8
                                 : kWidth * kHeight * b / 4 + 8 * row * kWidth / 2 + 8 * col;
            Reconstruct(levels[mb].level[b], q, &yuv[at], b < 4 ? kWidth : kWidth / 2);
        }
        MacroblockAttempt attempt{row, q, type, col == 0, 0, tSettings->IntraDCPrecision, &counted};
        const int32_t bits = CountMacroblockBits(levels[mb], attempt);
        const int32_t before = BitsWritten();
        attempt.dc = tRunningDc;
        WriteMacroblock(levels[mb], attempt);
        EXPECT_EQ(BitsWritten() - before, bits) << mb;
        if (col == kColumns - 1) AlignToByte();
    }
    WriteSequenceEnd();
    FlushBitWriter();
    std::fclose(tBitWriter->out);
    tBitWriter->out = nullptr;
    const DecoderVerdict v = DecodeStream(dir / "l.m2v", kWidth, kHeight);
    EXPECT_EQ(DecoderProblems(v, kWidth, kHeight), "");
    std::vector<uint8_t> decoded = v.ffmpeg.y;
    decoded.insert(decoded.end(), v.ffmpeg.cb.begin(), v.ffmpeg.cb.end());
    decoded.insert(decoded.end(), v.ffmpeg.cr.begin(), v.ffmpeg.cr.end());
    EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), yuv.begin(), yuv.end(),
                           [](int a, int b) { return std::abs(a - b) <= 2; }));
}

}  // namespace
