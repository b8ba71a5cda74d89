// The coding core: bit packing and the header fields decoders take whatever
// their value; the code tables by their structure; the DCT and quantiser
// exactly; then whole streams decoded by ffmpeg and mpeg2dec, which must follow
// an exact reconstruction of the coded levels, and the pictures their sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "coding/bit_writer.h"
#include "coding/headers.h"
#include "coding/macroblock_coder.h"
#include "coding/quantise.h"
#include "coding/tables.h"
#include "coding/transform.h"
#include "convert/planes.h"
#include "params/settings.h"
#include "support/decoders.h"
#include "support/files.h"
#include "support/state.h"

namespace {

std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < text.size(); i += 3)
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string Bits(uint32_t code, int length) {
    return std::bitset<32>(code).to_string().substr(32 - length);
}

// Index in a block of the coefficient that follows `run` zeros after the DC.
int AfterRun(int run) { return kZigZagScan[1 + run].column + 8 * kZigZagScan[1 + run].row; }

// What `write` puts into a fresh stream; every bit it counts went out.
std::vector<uint8_t> Written(void (*write)()) {
    ResetBitWriter();
    char* buffer = nullptr;
    size_t size = 0;
    gBitWriter.out = open_memstream(&buffer, &size);
    write();
    FlushBitWriter();
    std::fclose(gBitWriter.out);
    gBitWriter.out = nullptr;
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    EXPECT_EQ(BitsWritten(), 8 * static_cast<int32_t>(size));
    return bytes;
}

// Most significant bit first; no bits for a width of 0 or less; alignment pads with zeros
// only when needed; a queued code goes out as its low bits.
TEST(BitWriter, PacksAlignsAndFlushesTheCodeList) {
    ResetAllState();
    PutBits(0x5, 3);  // counted only, with no stream, and gone after the reset
    const std::vector<uint8_t> bytes = Written([] {
        PutBits(0x7, 0);
        PutBits(0x7, -4);
        PutBits(0x1F, 5);
        AlignToByte();
        AlignToByte();
        PutBits(static_cast<uint32_t>(-3), 12);
        PutBits(0xABCDEF01u, 32);
        StartCodeList();
        QueueBits(1, 3);
        QueueBits(0x1FF, 4);
        EXPECT_EQ(QueuedBits(), 7);
        FlushQueue();
        AlignToByte();
    });
    EXPECT_EQ(bytes, Hex("F8 FF DA BC DE F0 13 E0"));
}

// Codes of every width 0..39, more than the writer holds back at once, come out bit for bit in
// order.
TEST(BitWriter, LongRunsOfCodesOfEveryWidth) {
    std::mt19937 random(8);
    std::vector<std::pair<uint32_t, int>> codes;
    std::vector<bool> bits;
    while (bits.size() < 8u * 300 * 1024) {
        const uint32_t value = random();
        const int n = static_cast<int>(random() % 40);
        codes.emplace_back(value, n);
        for (int i = n - 1; i >= 0; --i) bits.push_back(i < 32 && (value >> i & 1) != 0);
    }
    std::vector<uint8_t> expected((bits.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits.size(); ++i)
        expected[i / 8] = static_cast<uint8_t>(expected[i / 8] | bits[i] << (7 - i % 8));
    static const std::vector<std::pair<uint32_t, int>>* gCodes = nullptr;
    gCodes = &codes;
    const std::vector<uint8_t> bytes = Written([] {
        for (const auto& c : *gCodes) PutBits(c.first, c.second);
        AlignToByte();
    });
    EXPECT_EQ(bytes.size(), expected.size());
    EXPECT_TRUE(bytes == expected);
}

// A rejected macroblock attempt is taken back: whatever was put after a mark is gone, at any bit
// position and however full the buffer was, and the count returns to the mark's.
TEST(BitWriter, RewindTakesBackAnAttempt) {
    std::mt19937 random(4);
    static std::vector<std::pair<uint32_t, int>> gKept;
    gKept.clear();
    for (int i = 0; i < 160000; ++i)
        gKept.emplace_back(random(), 1 + static_cast<int>(random() % 32));
    const std::vector<uint8_t> plain = Written([] {
        for (const auto& c : gKept) PutBits(c.first, c.second);
        AlignToByte();
    });
    const std::vector<uint8_t> rewound = Written([] {
        std::mt19937 taken(5);
        for (size_t i = 0; i < gKept.size(); ++i) {
            if (i % 7 == 0) {
                const BitWriterMark mark = MarkBitWriter();
                for (int n = 0; n < 40; ++n) PutBits(taken(), 1 + static_cast<int>(taken() % 32));
                RewindBitWriter(mark);
                EXPECT_EQ(BitsWritten(), mark.bits);
            }
            PutBits(gKept[i].first, gKept[i].second);
        }
        AlignToByte();
    });
    EXPECT_GT(plain.size(), static_cast<size_t>(kBitWriterBufferBytes));
    EXPECT_TRUE(rewound == plain);
}

// The fields that follow the job: the coded size in 720 x 576 and the aspect and frame rate of
// 16:9 PAL; the frame centre offsets, two groups in an interlaced sequence and one in a
// progressive one, the horizontal offset in two's complement.
TEST(Headers, FieldsFollowTheDerivedSettings) {
    const std::string picture = "00 00 01 00 00 0F FF F8 00 00 01 B5 8F FF F3 C9 80";
    struct Case {
        void (*set)();
        void (*write)();
        std::string hex;
    };
    const Case cases[] = {
        {[] {
             gSettings.YMBlock = 36;
             gSettings.PelAspectRatio = gSettings.FrameRate_s = 3;
             gSettings.load_intra_qmatrix_SH = 0;
         },
         [] { WriteSequenceHeader(nullptr); },
         "00 00 01 B3 2D 02 40 33 0B 33 23 80 00 00 01 B5 14 82 00 01 00 00"},
        {[] { gSettings.PanScan = 1; }, WritePictureHeader,
         picture + " 00 00 01 B5 7F FE 08 00 07 FF 82 00 01"},
        {[] { gSettings.PanScan = gSettings.ProgressiveSeque = 1; }, WritePictureHeader,
         picture + " 00 00 01 B5 7F FE 08 00 04"},
    };
    for (const Case& c : cases) {
        ResetAllState();
        gSettings.PanScanHorOffset = -32;
        c.set();
        ASSERT_EQ(DeriveSettings(), 0);
        EXPECT_EQ(Written(c.write), Hex(c.hex)) << c.hex;
    }
}

// The coder queues a pair's own code of Table B.15 (its text, with the sign as the last bit)
// and an escape for any other pair; the decoders check every code a stream carries.
TEST(CodeTables, EveryPairCodedByItsEntryOrAnEscape) {
    std::map<std::pair<int, int>, std::string> codeOf;
    for (int i = 0; i < 2 * kAcPairs; ++i) {
        const AcCode& e = kAcTable[i];
        EXPECT_EQ(Bits(e.code, e.length), e.text) << i;
        EXPECT_EQ(e.text[e.length - 1], e.level < 0 ? '1' : '0') << i;
        EXPECT_TRUE(codeOf.emplace(std::make_pair(e.run, e.level), e.text).second) << i;
    }
    for (int run = 0; run < 63; ++run)
        for (int32_t level = -42; level <= 42; level += level == -1 ? 2 : 1) {
            const auto entry = codeOf.find({run, level});
            std::string queued, code = entry != codeOf.end()
                                           ? entry->second
                                           : "000001" + Bits(run, 6) + Bits(level & 0xFFF, 12);
            int32_t levels[64] = {};  // a DC level of 0 after 0, then the pair
            levels[AfterRun(run)] = level;
            gRunningDc.value[0] = 0;
            StartCodeList();
            EncodeIntraBlock(0, levels);
            for (int32_t i = 0; i < gCodeList.count; ++i)
                queued += Bits(gCodeList.values[i], gCodeList.lengths[i]);
            ASSERT_EQ(queued, "100" + code + "0110") << run << " " << level;
        }
}

// C(u) cos((2x+1)u pi/16), C(0) = 1/sqrt(2), C(u) = 1 otherwise.
double Basis(int x, int u) {
    return (u == 0 ? std::sqrt(0.5) : 1.0) * std::cos((2 * x + 1) * u * M_PI / 16);
}

// F(u, v) = 1/4 sum f(x, y) Basis(x, u) Basis(y, v), samples clamped to -256..255.
double DirectDct(const int32_t* f, int u, int v) {
    double sum = 0.0;
    for (int i = 0; i < 64; ++i)
        sum += std::clamp(f[i], -256, 255) * Basis(i % 8, u) * Basis(i / 8, v);
    return sum / 4;
}

TEST(Transform, AgreesWithTheFormula) {
    std::mt19937 random(12345);
    for (int n = 0; n < 400; ++n) {  // textures reaching well beyond the clamp
        int32_t block[64], out[64];
        double unrounded[64];
        for (int32_t& v : block) v = static_cast<int32_t>(random() % 900) - 450;
        ForwardDctUnrounded(block, unrounded);
        ForwardDct(block, out);
        for (int i = 0; i < 64; ++i) {
            const double direct = DirectDct(block, i % 8, i / 8);
            ASSERT_NEAR(unrounded[i], direct, 1e-12) << n << " " << i;
            // Exact halves are the next test's.
            ASSERT_TRUE(std::fabs(std::fabs(direct - std::trunc(direct)) - 0.5) < 1e-9 ||
                        out[i] == std::lround(direct))
                << i;
        }
    }
}

TEST(Transform, HalvesAwayFromZeroAndFlatBlocks) {
    // One sample of value a (position -1: every sample) gives |F(0,0)| = |F(4,0)| = |F(0,4)| =
    // |F(4,4)| = a / 8.
    struct Case {
        int32_t value, position, coefficient, expected;
    };
    const Case cases[] = {{4, 0, 0, 1},         {-4, 0, 0, -1},    {12, 0, 0, 2},
                          {20, 0, 4, 3},        {-20, 0, 32, -3},  {36, 0, 36, 5},
                          {20, 2, 4, -3},       {100, -1, 0, 800}, {5000, -1, 0, 2040},
                          {-5000, -1, 0, -2048}};
    for (const Case& c : cases) {
        int32_t block[64], out[64];
        for (int i = 0; i < 64; ++i) block[i] = c.position == i || c.position == -1 ? c.value : 0;
        ForwardDct(block, out);
        EXPECT_EQ(out[c.coefficient], c.expected) << c.value << " at " << c.position;
    }
}

// Blocks of samples of one kind, reproducible from a seed.
enum class BlockKind { kUniform, kBeyondTheClamp, kSmooth, kImpulses, kHalves, kExtremes };
constexpr BlockKind kBlockKinds[] = {BlockKind::kUniform, BlockKind::kBeyondTheClamp,
                                     BlockKind::kSmooth,  BlockKind::kImpulses,
                                     BlockKind::kHalves,  BlockKind::kExtremes};

// Uniform 0..255; -1000..1000, beyond the clamp; gradients with a little noise; a few samples of
// any size on 0; one sample a multiple of 4 (results on exact halves); only -256 and 255.
void MakeBlock(BlockKind kind, std::mt19937& random, int32_t* block) {
    const int32_t gx = static_cast<int32_t>(random() % 33) - 16;
    const int32_t gy = static_cast<int32_t>(random() % 33) - 16;
    for (int i = 0; i < 64; ++i) {
        switch (kind) {
            case BlockKind::kUniform:
                block[i] = static_cast<int32_t>(random() % 256);
                break;
            case BlockKind::kBeyondTheClamp:
                block[i] = static_cast<int32_t>(random() % 2001) - 1000;
                break;
            case BlockKind::kSmooth:
                block[i] = 128 + gx * (i % 8) + gy * (i / 8) + static_cast<int32_t>(random() % 5);
                break;
            case BlockKind::kImpulses:
                block[i] = random() % 16 == 0 ? static_cast<int32_t>(random() % 1025) - 512 : 0;
                break;
            case BlockKind::kHalves:
                block[i] = 0;
                break;
            case BlockKind::kExtremes:
                block[i] = random() % 2 ? 255 : -256;
                break;
        }
    }
    if (kind == BlockKind::kHalves)
        block[random() % 64] = 4 * (static_cast<int32_t>(random() % 128) - 64);
}

}  // namespace

// With the variant's type, where the printer finds it.
void PrintTo(DctVariant variant, std::ostream* os) { *os << DctVariantName(variant); }

namespace {

class TransformVariant : public ::testing::TestWithParam<DctVariant> {};

// Every variant that runs here gives ForwardDct's bits on every block, clamped samples included;
// ForwardDct itself follows the formula (the tests above), and so do the variants' results.
TEST_P(TransformVariant, GivesTheReferenceBits) {
    const DctVariant variant = GetParam();
    if (!DctVariantRuns(variant)) GTEST_SKIP() << "this processor does not run it";
    std::mt19937 random(2024);
    constexpr int kCount = 4000;
    for (BlockKind kind : kBlockKinds) {
        std::vector<int32_t> blocks(64 * kCount), reference(64 * kCount), out(64 * kCount);
        std::vector<int32_t*> in(kCount), to(kCount);
        for (int n = 0; n < kCount; ++n) {
            MakeBlock(kind, random, &blocks[64 * n]);
            in[n] = &blocks[64 * n];
            to[n] = &out[64 * n];
        }
        std::vector<int32_t> samples = blocks;
        for (int n = 0; n < kCount; ++n) ForwardDct(&samples[64 * n], &reference[64 * n]);
        // Any count: whole groups of lanes and a part of one.
        ForwardDctBlocks(variant, in.data(), to.data(), kCount - 3);
        ForwardDctBlocks(variant, in.data() + kCount - 3, to.data() + kCount - 3, 3);
        ASSERT_EQ(blocks, samples) << "samples clamped in place";
        for (int n = 0; n < kCount; ++n) {
            ASSERT_TRUE(std::equal(&out[64 * n], &out[64 * n + 64], &reference[64 * n]))
                << static_cast<int>(kind) << " block " << n;
        }
        for (int n = 0; n < 20; ++n) {
            for (int i = 0; i < 64; ++i) {
                const double direct = DirectDct(&blocks[64 * n], i % 8, i / 8);
                ASSERT_LE(std::fabs(out[64 * n + i] - direct), 0.5 + 1e-9) << n << " " << i;
            }
        }
    }
}

// From 8-bit planes into scan order, as the store takes them: the bits of the reference on
// blocks anywhere in a plane.
TEST_P(TransformVariant, PlaneBlocksInScanOrder) {
    const DctVariant variant = GetParam();
    if (!DctVariantRuns(variant)) GTEST_SKIP() << "this processor does not run it";
    std::mt19937 random(99);
    constexpr int kStride = 200, kRows = 120, kCount = 999;
    std::vector<uint8_t> plane(kStride * kRows);
    for (size_t i = 0; i < plane.size(); ++i)
        plane[i] = static_cast<uint8_t>(i % 7 == 0 ? random() : i % kStride + i / kStride);
    std::vector<const uint8_t*> origins(kCount);
    std::vector<int16_t> out(64 * kCount), reference(64 * kCount);
    std::vector<int16_t*> to(kCount), toReference(kCount);
    for (int n = 0; n < kCount; ++n) {
        origins[n] = &plane[(random() % (kRows - 7)) * kStride + random() % (kStride - 7)];
        to[n] = &out[64 * n];
        toReference[n] = &reference[64 * n];
    }
    TransformBlocks(variant, origins.data(), kStride, to.data(), kCount);
    TransformBlocks(DctVariant::kReference, origins.data(), kStride, toReference.data(), kCount);
    EXPECT_EQ(out, reference);
    int32_t block[64], raster[64];
    for (int i = 0; i < 64; ++i) block[i] = origins[0][i / 8 * kStride + i % 8];
    ForwardDct(block, raster);
    for (int k = 0; k < 64; ++k) EXPECT_EQ(out[k], raster[AfterRun(k - 1)]) << k;
}

INSTANTIATE_TEST_SUITE_P(Variants, TransformVariant, ::testing::ValuesIn(kDctVariants),
                         [](const ::testing::TestParamInfo<DctVariant>& info) {
                             return std::string(DctVariantName(info.param));
                         });

TEST(Quantiser, AcRoundingDcPerPrecisionAndClamps) {
    struct Case {
        int precision, q;
        int32_t weight, position, coefficient, level;
    };
    const Case cases[] = {
        {0, 2, 16, 9, -6, -2},      {0, 4, 16, 9, 25, 3},       {0, 1, 83, 9, 2, 0},
        {0, 1, 83, 9, 3, 1},        {0, 31, 16, 9, -2048, -33}, {0, 1, 1, 9, 2047, 2047},
        {0, 1, 1, 9, -2048, -2047}, {0, 7, 1, 0, 1020, 128},    {0, 7, 1, 0, 1019, 127},
        {0, 7, 1, 0, 2047, 255},    {0, 7, 1, 0, -2048, -255},  {1, 7, 1, 0, 1022, 256},
        {1, 7, 1, 0, -2048, -511},  {2, 7, 1, 0, 1021, 511},    {2, 7, 1, 0, 2047, 1023},
        {2, 7, 1, 0, -3, -2}};
    for (const Case& c : cases) {
        gSettings.IntraDCPrecision = c.precision;
        std::fill(gIntraMatrix.weights, gIntraMatrix.weights + 64, c.weight);
        int32_t coefficients[64] = {}, levels[64];
        coefficients[c.position] = c.coefficient;
        QuantiseIntraBlock(c.q, coefficients, levels);
        EXPECT_EQ(levels[c.position], c.level)
            << c.precision << " " << c.q << " " << c.weight << " " << c.coefficient;
    }
}

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
    int mismatches = 0;
    for (int32_t w = 1; w <= 255; ++w) {
        std::fill(gIntraMatrix.weights, gIntraMatrix.weights + 64, w);
        PrepareScanQuantiser(gIntraMatrix.weights, &quantiser, GetParam());
        for (int q = 1; q <= 31; ++q) {
            for (int mb = 0; mb < kMacroblocks; ++mb) {
                QuantiseScanned(quantiser, q, &coefficients[mb * kMacroblockValues], &levels);
                for (int b = 0; b < 6; ++b) {
                    const int16_t* c = &coefficients[mb * kMacroblockValues + 64 * b];
                    uint64_t nonZero = 0;
                    for (int k = 1; k < 64; ++k) {
                        const int32_t expected = DividedLevel(c[k], w, q);
                        nonZero |= static_cast<uint64_t>(expected != 0) << k;
                        if (levels.level[b][k] != expected && mismatches++ < 5)
                            ADD_FAILURE() << c[k] << " w " << w << " q " << q << ": "
                                          << levels.level[b][k] << ", not " << expected;
                    }
                    if (levels.nonZero[b] != nonZero && mismatches++ < 5)
                        ADD_FAILURE() << "non-zero bits, w " << w << " q " << q;
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(Variants, QuantiserVariant, ::testing::ValuesIn(kDctVariants),
                         [](const ::testing::TestParamInfo<DctVariant>& info) {
                             return std::string(DctVariantName(info.param));
                         });

// The DC at precisions 0, 1, 2 (any other as 0): the coefficient over 8, 4 or 2 with halves away
// from zero, within 255, 511 or 1023; and AC weights taken by scan index from the raster matrix.
TEST(Quantiser, DcAtEveryPrecisionAndWeightsByScanIndex) {
    ResetAllState();
    std::vector<int16_t> coefficients(kMacroblockValues);
    ScanQuantiser quantiser;
    ScannedLevels levels;
    for (int precision = 0; precision < 4; ++precision) {
        gSettings.IntraDCPrecision = precision;
        const int32_t mult = precision == 1 ? 4 : precision == 2 ? 2 : 8;
        PrepareScanQuantiser(gIntraMatrix.weights, &quantiser);
        for (int32_t c0 = -2048; c0 < 2048; ++c0) {
            coefficients[64 * (c0 & 3)] = static_cast<int16_t>(c0);
            QuantiseScanned(quantiser, 1 + (c0 & 15), coefficients.data(), &levels);
            const int32_t dc = std::min((std::abs(c0) + mult / 2) / mult, 2048 / mult - 1);
            ASSERT_EQ(levels.level[c0 & 3][0], c0 < 0 ? -dc : dc) << precision << " " << c0;
        }
    }
    std::copy(kDefaultIntraMatrix, kDefaultIntraMatrix + 64, gIntraMatrix.weights);
    PrepareScanQuantiser(gIntraMatrix.weights, &quantiser);
    std::mt19937 random(3);
    for (int16_t& c : coefficients) c = static_cast<int16_t>(random() % 4096) - 2048;
    QuantiseScanned(quantiser, 5, coefficients.data(), &levels);
    for (int b = 0; b < 6; ++b) {
        for (int k = 1; k < 64; ++k) {
            const int p = AfterRun(k - 1);
            EXPECT_EQ(levels.level[b][k],
                      DividedLevel(coefficients[64 * b + k], kDefaultIntraMatrix[p], 5))
                << k;
        }
    }
}

// What a stream receives from `code`, after a reset and up to the next byte boundary.
std::vector<uint8_t> StreamOf(const std::function<void()>& code) {
    ResetBitWriter();
    char* buffer = nullptr;
    size_t size = 0;
    gBitWriter.out = open_memstream(&buffer, &size);
    code();
    AlignToByte();
    FlushBitWriter();
    std::fclose(gBitWriter.out);
    gBitWriter.out = nullptr;
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

// Counted, queued or written, a macroblock's code is the same: the bits CountMacroblockBits gives
// are those EncodeMacroblock queues from the raster levels, WriteMacroblock puts the bytes the
// queue's flush puts, and each leaves the same DC values for the next; slice starts, retries,
// both types, escapes and large DC differences included.
TEST(MacroblockCoder, CountedQueuedAndWrittenAlike) {
    ResetAllState();
    gSettings.XMBlock = gSettings.MBlockPerSlice = 4;
    constexpr int kCount = 8;
    std::mt19937 random(17);
    std::vector<ScannedLevels> scanned(kCount);
    std::vector<std::vector<int32_t>> raster(kCount, std::vector<int32_t>(kMacroblockValues));
    std::vector<int32_t> quantisers(kCount), types(kCount);
    for (int mb = 0; mb < kCount; ++mb) {
        for (int b = 0; b < 6; ++b) {
            for (int k = 0; k < 64; ++k) {
                const uint32_t r = random();
                int32_t level = r % 3 != 0   ? 0
                                : r % 7 == 0 ? static_cast<int32_t>(r % 4095) - 2047
                                             : static_cast<int32_t>(r % 9) - 4;
                if (k == 0) level = static_cast<int32_t>(r % 2047) - 1023;
                scanned[mb].level[b][k] = static_cast<int16_t>(level);
                raster[mb][64 * b + AfterRun(k - 1)] = level;
            }
            scanned[mb].nonZero[b] = NonZeroLevelBits(scanned[mb].level[b]);
        }
        quantisers[mb] = 1 + mb * 4;
        types[mb] = mb % 4 == 0 ? 1 : 1 + mb % 2;
    }
    // Each macroblock coded twice, the second time as a retry that is accepted and goes to the
    // stream, as the final pass does; the DC values after each attempt.
    std::vector<int32_t> counted, queued, dcAfterCount, dcAfterQueue;
    const std::vector<uint8_t> written = StreamOf([&] {
        ResetRunningDc();
        for (int mb = 0; mb < kCount; ++mb) {
            for (int retry = 0; retry < 2; ++retry) {
                counted.push_back(CountMacroblockBits(
                    scanned[mb],
                    MacroblockAttempt{mb / 4, quantisers[mb], types[mb], mb % 4 == 0, retry}));
                dcAfterCount.insert(dcAfterCount.end(), gRunningDc.value, gRunningDc.value + 3);
            }
            WriteMacroblock(scanned[mb],
                            MacroblockAttempt{mb / 4, quantisers[mb], types[mb], mb % 4 == 0, 1});
        }
    });
    const std::vector<uint8_t> flushed = StreamOf([&] {
        ResetRunningDc();
        for (int mb = 0; mb < kCount; ++mb) {
            for (int retry = 0; retry < 2; ++retry) {
                StartCodeList();
                EncodeMacroblock(mb / 4, mb % 4, raster[mb].data(), quantisers.data(), types.data(),
                                 mb % 4 == 0, retry);
                queued.push_back(QueuedBits());
                dcAfterQueue.insert(dcAfterQueue.end(), gRunningDc.value, gRunningDc.value + 3);
            }
            FlushQueue();
        }
    });
    EXPECT_EQ(counted, queued);
    EXPECT_EQ(dcAfterCount, dcAfterQueue);
    EXPECT_EQ(written, flushed);
    EXPECT_GT(written.size(), 1000u);
}

struct Picture {
    int width, height;
    std::vector<uint8_t> yuv;  // Y, Cb, Cr planes, 4:2:0
    size_t Offset(int plane) const {
        return static_cast<size_t>(width) * height * (plane == 0 ? 0 : plane + 3) / 4;
    }
};

void SetUpSettings(int width, int height, int dcPrecision) {
    ResetAllState();
    gSettings.FrameWidth = gSettings.DisplayHorDimen = width;
    gSettings.FrameHeight = gSettings.DisplayVerDimen = height;
    gSettings.XMBlock = gSettings.MBlockPerSlice = width / 16;
    gSettings.YMBlock = height / 16;
    gSettings.ColourPrimaries = gSettings.TransferCharact = gSettings.MatrixCoefficients = 5;
    gSettings.IntraDCPrecision = dcPrecision;
    ASSERT_EQ(DeriveSettings(), 0);
    // Not the default matrix: the stream must carry the working one, in scan order.
    for (int i = 0; i < 64; ++i)
        gIntraMatrix.weights[i] = i == 0 ? 8 : kDefaultIntraMatrix[i] + i % 5;
}

// Intra inverse quantisation with saturation and mismatch control, exact
// inverse DCT, samples rounded and clamped to 0..255.
void ReconstructBlock(const int32_t* level, int q, uint8_t* out, int stride) {
    int32_t f[64], sum = 0;
    const int32_t dcScale = 8 >> gSettings.IntraDCPrecision;
    for (int i = 0; i < 64; ++i)
        sum += f[i] =
            std::clamp(i ? 2 * level[i] * gIntraMatrix.weights[i] * 2 * q / 32 : level[0] * dcScale,
                       -2048, 2047);
    if (sum % 2 == 0) f[63] += f[63] % 2 ? -1 : 1;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double s = 0.0;
            for (int i = 0; i < 64; ++i) s += Basis(y, i / 8) * Basis(x, i % 8) * f[i];
            out[y * stride + x] =
                static_cast<uint8_t>(std::clamp(std::floor(s / 4 + 0.5), 0.0, 255.0));
        }
}

// Codes each macroblock at q[mb] from the given levels, or else from the planes,
// first one step finer and then again as a retry. Returns the reconstruction.
Picture WriteStream(const std::string& path, const std::vector<int32_t>& q,
                    std::vector<int32_t> levels) {
    const int width = 16 * gSettings.XMBlock, height = 16 * gSettings.YMBlock;
    Picture r{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3 / 2)};
    std::vector<int32_t> types(q.size(), 1), quantisers(q);
    const bool fromPlanes = levels.empty();
    levels.resize(q.size() * kMacroblockValues);
    ResetBitWriter();
    gBitWriter.out = std::fopen(path.c_str(), "wb");
    WriteSequenceHeader(gIntraMatrix.weights);
    WriteSequenceDisplayExtension();
    WriteGopHeader();
    WritePictureHeader();
    int32_t samples[kMacroblockValues], coefficients[kMacroblockValues];
    for (int mb = 0; mb < gSettings.MBCount; ++mb) {
        const int x = 16 * (mb % gSettings.XMBlock), y = 16 * (mb / gSettings.XMBlock);
        int32_t* level = &levels[static_cast<size_t>(mb) * kMacroblockValues];
        const int first = fromPlanes && q[mb] > 1 ? 0 : 1;
        for (int attempt = first; attempt < 2; ++attempt) {
            quantisers[mb] = q[mb] - 1 + attempt;
            types[mb] = x != 0 && quantisers[mb] != quantisers[mb - 1] ? 2 : 1;
            StartCodeList();
            const SamplePlanes picture{gPlanes.y, gPlanes.cb, gPlanes.cr, width, 0, 0};
            if (fromPlanes) FetchMacroblock(picture, x, y, samples);
            if (fromPlanes) TransformAndQuantise(quantisers[mb], samples, coefficients, level);
            EncodeMacroblock(y / 16, x / 16, level, quantisers.data(), types.data(), x == 0,
                             attempt > first);
        }
        FlushQueue();
        if (x + 16 == width) AlignToByte();
        for (int b = 0; b < kBlocksPerMacroblock; ++b) {
            const size_t at =
                b < 4 ? static_cast<size_t>(y + b / 2 * 8) * width + x + b % 2 * 8
                      : r.Offset(b - 3) + static_cast<size_t>(y / 2) * width / 2 + x / 2;
            ReconstructBlock(level + 64 * b, q[mb], &r.yuv[at], b < 4 ? width : width / 2);
        }
    }
    WriteSequenceEnd();
    FlushBitWriter();
    std::fclose(gBitWriter.out);
    gBitWriter.out = nullptr;
    return r;
}

// Both decoders take the stream silently and agree; ffmpeg's picture, within 2
// of the reconstruction everywhere.
std::vector<uint8_t> Decode(const std::string& path, const Picture& expected) {
    const DecoderVerdict v = DecodeStream(path, expected.width, expected.height);
    EXPECT_EQ(DecoderProblems(v, expected.width, expected.height), "");
    std::vector<uint8_t> all = v.ffmpeg.y;
    all.insert(all.end(), v.ffmpeg.cb.begin(), v.ffmpeg.cb.end());
    all.insert(all.end(), v.ffmpeg.cr.begin(), v.ffmpeg.cr.end());
    EXPECT_TRUE(std::equal(all.begin(), all.end(), expected.yuv.begin(), expected.yuv.end(),
                           [](int a, int b) { return std::abs(a - b) <= 2; }));
    return all;
}

// Rows of a ramp, sharp checks and noise; chroma a diagonal ramp and stripes.
Picture Synthetic() {
    Picture p{192, 128, {}};
    std::mt19937 random(7);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 192; ++x)
            p.yuv.push_back(static_cast<uint8_t>(y < 42   ? x * 255 / 191
                                                 : y < 85 ? (x / 4 + y / 4) % 2 * 255
                                                          : random() % 256));
    for (int i = 0; i < 2 * 96 * 64; ++i)
        p.yuv.push_back(static_cast<uint8_t>(i < 96 * 64  ? i % 96 * 7 + i / 96 * 3
                                             : i % 16 < 8 ? 16
                                                          : 240));
    return p;
}

// The astronaut crop, converted by ImageMagick.
Picture Natural() {
    TempDir dir;
    RunCommand("convert '" + TestDataPath("coding/data/astronaut_352x288.png") +
               "' -colorspace YCbCr -sampling-factor 4:2:0 -depth 8 'yuv:" + dir / "a.yuv" + "'");
    return Picture{352, 288, ReadFileBytes(dir / "a.yuv")};
}

// q 0: a different quantiser in every macroblock; minPsnr: ffmpeg's picture against the source,
// each plane.
struct StreamCase {
    const char* name;
    bool natural;
    int q, dcPrecision;
    double minPsnr;
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }
class StreamDecode : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamDecode, DecodersFollowTheLevelsAndTheSource) {
    const StreamCase& c = GetParam();
    Picture source = c.natural ? Natural() : Synthetic();
    ASSERT_EQ(source.yuv.size(), source.Offset(3)) << "the natural picture could not be converted";
    SetUpSettings(source.width, source.height, c.dcPrecision);
    gPlanes = {source.yuv.data(),
               &source.yuv[source.Offset(1)],
               &source.yuv[source.Offset(2)],
               nullptr,
               nullptr,
               nullptr};
    std::vector<int32_t> q(gSettings.MBCount, c.q);
    for (int mb = 0; c.q == 0 && mb < gSettings.MBCount; ++mb) q[mb] = 1 + (mb * 7) % 31;
    TempDir dir;
    const std::vector<uint8_t> decoded = Decode(dir / "p.m2v", WriteStream(dir / "p.m2v", q, {}));
    ASSERT_EQ(decoded.size(), source.yuv.size());
    for (int plane = 0; plane < 3; ++plane) {
        const size_t at = source.Offset(plane);
        EXPECT_GT(Psnr(&decoded[at], &source.yuv[at], source.Offset(plane + 1) - at), c.minPsnr)
            << "plane " << plane;
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, StreamDecode,
                         ::testing::Values(StreamCase{"SyntheticQ1", false, 1, 0, 45},
                                           StreamCase{"SyntheticQ31", false, 31, 2, 17},
                                           StreamCase{"SyntheticVaryingQ", false, 0, 0, 21},
                                           StreamCase{"NaturalQ31", true, 31, 1, 29}),
                         [](const ::testing::TestParamInfo<StreamCase>& info) {
                             return std::string(info.param.name);
                         });

// Levels set directly: every table pair with both signs, one per block, and
// escapes of the largest levels and of long runs. Flat weights of 8 at q 31 make
// each coefficient 31 x its level: a level off by one moves samples by more than
// the tolerance.
TEST(StreamDecodeLevels, EveryTableCodeAndEscapes) {
    SetUpSettings(192, 128, 0);
    std::fill(gIntraMatrix.weights, gIntraMatrix.weights + 64, 8);
    std::vector<int32_t> levels(static_cast<size_t>(gSettings.MBCount) * kMacroblockValues, 0);
    size_t block = 0;
    auto put = [&](int run, int32_t level) { levels[64 * block++ + AfterRun(run)] = level; };
    for (int i = 0; i < 2 * kAcPairs; ++i) put(kAcTable[i].run, kAcTable[i].level);
    for (int32_t level : {41, -41, 19, -300, 2047, -2047}) put(0, level);  // macroblock 37
    for (int run : {32, 40, 62}) put(run, run % 2 ? -2 : 3);
    for (size_t b = 0; b < levels.size(); b += 64) levels[b] = 128;
    // At q 31 the largest escapes would need the decoder's saturation, which one
    // decoder leaves to its inverse transform.
    std::vector<int32_t> q(gSettings.MBCount, 31);
    q[2 * kAcPairs / kBlocksPerMacroblock] = 1;
    TempDir dir;
    Decode(dir / "l.m2v", WriteStream(dir / "l.m2v", q, levels));
}

}  // namespace
