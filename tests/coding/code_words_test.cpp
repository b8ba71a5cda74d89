// The final pass's writing kernels against their references: every (run, level) code word against
// the walk of the standard's table as printed, the register writer against PutBits on random
// codes, and whole macroblocks against the block coder that queues its codes one by one.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "coding/bit_writer.h"
#include "coding/macroblock_coder.h"
#include "coding/quantise.h"
#include "coding/tables.h"
#include "support/files.h"
#include "support/state.h"

namespace {

std::string Bits(uint32_t value, int n) {
    std::string s;
    for (int i = n - 1; i >= 0; --i) s += (value >> i & 1) != 0 ? '1' : '0';
    return s;
}

// The code of (run, level) as the table prints it, found by walking its rows, or the escape
// with the run in 6 bits and the level in 12 bits of two's complement.
std::string TableWalkCode(int run, int32_t level) {
    for (int i = 0; kAcTable[i].level != kAcTableEnd; ++i) {
        if (kAcTable[i].run == run && kAcTable[i].level == level) return kAcTable[i].text;
    }
    return "000001" + Bits(static_cast<uint32_t>(run), 6) + Bits(static_cast<uint32_t>(level), 12);
}

TEST(CodeWords, EveryRunAndLevelAsTheTableWalkCodesIt) {
    for (int run = 0; run < 64; ++run) {
        for (int32_t level = -2047; level <= 2047; ++level) {
            if (level == 0) continue;
            const uint32_t word = AcWord(static_cast<uint64_t>(run), level);
            ASSERT_EQ(Bits(word >> 8, static_cast<int>(word & 0xFF)), TableWalkCode(run, level))
                << "run " << run << " level " << level;
        }
    }
}

// Its own writer bound for the test's life, its stream kept in `bytes` (no file).
struct OwnWriter {
    std::unique_ptr<BitWriter> writer = std::make_unique<BitWriter>();
    BitWriter* bound = tBitWriter;
    OwnWriter() {
        tBitWriter = writer.get();
        ResetBitWriter();
    }
    ~OwnWriter() { tBitWriter = bound; }
};

// Random codes through the register writer (single words, masked values, pairs) and through
// PutBits, of every width -4..39 there (none below 1, zeros above 32), between writers and within
// attempts taken back at any bit position and however full the buffer is: the stream holds the
// kept codes bit for bit and every bit counted went out, past the buffer's size, with and without
// an attached stream.
TEST(WordWriter, WritesWhatPutBitsWrites) {
    ResetAllState();
    for (const bool toStream : {true, false}) {
        std::mt19937 random(toStream ? 11 : 12);
        std::vector<bool> expected;
        OwnWriter own;
        TempDir dir;
        FILE* stream = toStream ? std::fopen((dir / "w.m2v").c_str(), "w+b") : nullptr;
        tBitWriter->out = stream;
        auto keep = [&](uint32_t value, int n) {
            for (int i = n - 1; i >= 0; --i) expected.push_back(i < 32 && (value >> i & 1) != 0);
        };
        auto put = [&] {
            const uint32_t value = random();
            const int n = static_cast<int>(random() % 44) - 4;
            PutBits(value, n);
            keep(value, n);
        };
        while (expected.size() < 8u * 600 * 1024) {
            put();
            const bool takeBack = random() % 5 == 0;
            const BitWriterMark mark = MarkBitWriter();
            const size_t before = expected.size();
            if (takeBack) put();
            {
                WordWriter w;
                for (int n = static_cast<int>(random() % 40); n > 0; --n) {
                    // Words of 1..24 bits, as the tables hold them; values of 1..32.
                    const uint32_t la = 1 + random() % 24, lb = 1 + random() % 24;
                    const uint32_t a = random() >> (32 - la), b = random() >> (32 - lb);
                    const uint32_t value = random(), width = 1 + random() % 32;
                    switch (random() % 3) {
                        case 0:
                            w.Put(value, width);
                            keep(value & (0xFFFFFFFFu >> (32 - width)), static_cast<int>(width));
                            break;
                        case 1:
                            w.PutWord(a << 8 | la);
                            keep(a, static_cast<int>(la));
                            break;
                        default:
                            w.PutWords(a << 8 | la, b << 8 | lb);
                            keep(a, static_cast<int>(la));
                            keep(b, static_cast<int>(lb));
                    }
                }
            }
            ASSERT_EQ(BitsWritten(), mark.bits + static_cast<int32_t>(expected.size() - before));
            if (takeBack) {
                RewindBitWriter(mark);
                expected.resize(before);
            }
        }
        AlignToByte();
        while (expected.size() % 8 != 0) expected.push_back(false);
        FlushBitWriter();
        ASSERT_EQ(BitsWritten(), static_cast<int32_t>(expected.size()));
        if (stream == nullptr) continue;
        std::vector<uint8_t> want(expected.size() / 8, 0), got(want.size() + 1, 0);
        for (size_t i = 0; i < expected.size(); ++i)
            want[i / 8] = static_cast<uint8_t>(want[i / 8] | expected[i] << (7 - i % 8));
        std::rewind(stream);
        got.resize(std::fread(got.data(), 1, got.size(), stream));
        std::fclose(stream);
        EXPECT_TRUE(got == want);
    }
}

// Random levels of a block in scan order: density and magnitude vary from block to block, with
// the largest levels and long runs among them.
void RandomBlock(std::mt19937& random, int dcPrecision, int16_t* level) {
    const uint32_t density = random() % 100, large = random() % 4;
    level[0] = static_cast<int16_t>(random() % (256u << dcPrecision));
    for (int k = 1; k < 64; ++k) {
        int32_t m = 0;
        if (random() % 100 < density) m = large == 0 ? 1 + random() % 2047 : 1 + random() % 6;
        if (random() % 50 == 0) m = 30 + random() % 20;
        level[k] = static_cast<int16_t>(random() % 2 != 0 ? -m : m);
    }
}

// The stream bytes of `write` through a writer of its own.
template <typename Write>
std::vector<uint8_t> StreamOf(Write write) {
    OwnWriter own;
    TempDir dir;
    FILE* stream = std::fopen((dir / "m.m2v").c_str(), "w+b");
    tBitWriter->out = stream;
    write();
    AlignToByte();
    FlushBitWriter();
    std::vector<uint8_t> bytes(static_cast<size_t>(BitsWritten() / 8));
    std::rewind(stream);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), stream));
    std::fclose(stream);
    return bytes;
}

// The macroblock's code as the block coder queues it, each code through PutBits, after the slice
// and macroblock headers.
void QueuedMacroblock(const ScannedLevels& levels, const MacroblockAttempt& a) {
    if (a.sliceStart != 0) {
        PutBits(1, 24);
        PutBits(static_cast<uint32_t>(a.row + 1), 8);
        PutBits(static_cast<uint32_t>(a.quantiser), 5);
        PutBits(0, 1);
        for (int32_t& dc : tRunningDc->value) dc = 128 << a.dcPrecision;
    }
    PutBits(1, 1);
    PutBits(1, a.type == 2 ? 2 : 1);
    if (a.type == 2) PutBits(static_cast<uint32_t>(a.quantiser), 5);
    for (int b = 0; b < 6; ++b) {
        int32_t raster[64];
        for (int k = 0; k < 64; ++k)
            raster[kZigZagScan[k].column + 8 * kZigZagScan[k].row] = levels.level[b][k];
        StartCodeList();
        EncodeIntraBlock(b, raster);
        FlushQueue();
    }
}

// Random macroblocks, slice starts and quantisers among them, over several slices: the written
// stream is the queued one byte for byte, and each macroblock's count is its written bits.
TEST(MacroblockWriter, WritesWhatTheBlockCoderQueues) {
    ResetAllState();
    std::mt19937 random(23);
    for (int dcPrecision = 0; dcPrecision < 3; ++dcPrecision) {
        std::vector<ScannedLevels> levels(400);
        std::vector<MacroblockAttempt> attempts;
        for (size_t mb = 0; mb < levels.size(); ++mb) {
            for (int b = 0; b < 6; ++b) {
                RandomBlock(random, dcPrecision, levels[mb].level[b]);
                levels[mb].nonZero[b] = NonZeroLevelBits(levels[mb].level[b]);
            }
            const int sliceStart = mb % 45 == 0 ? 1 : 0;
            const int type = sliceStart == 0 && random() % 3 == 0 ? 2 : 1;
            attempts.push_back(MacroblockAttempt{static_cast<int>(mb / 45),
                                                 1 + static_cast<int>(random() % 31), type,
                                                 sliceStart, 0, dcPrecision});
        }
        RunningDc counted{}, written{};
        std::vector<int32_t> bits;
        const std::vector<uint8_t> queued = StreamOf([&] {
            for (size_t mb = 0; mb < levels.size(); ++mb)
                QueuedMacroblock(levels[mb], attempts[mb]);
        });
        const std::vector<uint8_t> direct = StreamOf([&] {
            for (size_t mb = 0; mb < levels.size(); ++mb) {
                MacroblockAttempt a = attempts[mb];
                a.dc = &counted;
                const int32_t count = CountMacroblockBits(levels[mb], a);
                const int32_t before = BitsWritten();
                a.dc = &written;
                WriteMacroblock(levels[mb], a);
                EXPECT_EQ(BitsWritten() - before, count) << mb;
            }
        });
        EXPECT_TRUE(direct == queued) << "intra_dc_precision " << dcPrecision;
    }
}

}  // namespace
