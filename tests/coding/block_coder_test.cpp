// Intra block and macroblock codes: DC sizes and differentials, run/level
// codes, escapes, end of block, slice and macroblock headers.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "coding/bit_writer.h"
#include "coding/macroblock_coder.h"
#include "coding/scan.h"
#include "coding/vlc_tables.h"
#include "coding_test_util.h"
#include "params/settings.h"
#include "support/state.h"

namespace {

class BlockCoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        StartCodeList();
    }
};

// Puts `level` at scan position k.
void AtScan(int32_t* levels, int k, int32_t level) {
    const ScanPosition p = kZigZagScan[k];
    levels[p.column + 8 * p.row] = level;
}

struct BlockCase {
    const char* name;
    int block;
    int32_t runningDc;
    int32_t dc;
    std::vector<std::pair<int, int32_t>> ac;  // (scan position, level)
    const char* code;
};

class BlockCodes : public BlockCoderTest, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(BlockCodes, Text) {
    const BlockCase& c = GetParam();
    int32_t levels[64] = {};
    levels[0] = c.dc;
    for (const auto& a : c.ac) AtScan(levels, a.first, a.second);
    gRunningDc.value[0] = gRunningDc.value[1] = gRunningDc.value[2] = c.runningDc;
    EncodeIntraBlock(c.block, levels);
    EXPECT_EQ(QueuedText(), c.code);
    EXPECT_EQ(gRunningDc.value[c.block < 4 ? 0 : c.block - 3], c.dc);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, BlockCodes,
    ::testing::Values(
        BlockCase{"DcSizeZero", 0, 128, 128, {}, "100" "0110"},
        BlockCase{"LumaMinus5", 1, 128, 123, {}, "101" "010" "0110"},
        BlockCase{"LumaPlus1", 3, 0, 1, {}, "00" "1" "0110"},
        BlockCase{"LumaSize11", 2, 1023, -1023, {}, "111111111" "00000000001" "0110"},
        BlockCase{"ChromaSizeZero", 4, 128, 128, {}, "00" "0110"},
        BlockCase{"Chroma255", 5, 0, 255, {}, "11111110" "11111111" "0110"},
        BlockCase{"ChromaMinus1", 4, 1, 0, {}, "01" "0" "0110"},
        BlockCase{"ChromaSize11", 5, -1024, 1023, {}, "1111111111" "11111111111" "0110"},
        BlockCase{"Run0Level3Run2LevelMinus1", 0, 128, 128, {{1, 3}, {4, -1}}, "100" "01110" "001011" "0110"},
        BlockCase{"EscapeLevel200", 0, 128, 128, {{1, 200}}, "100" "000001" "000000" "000011001000" "0110"},
        BlockCase{"EscapeLevelMinus41", 0, 128, 128, {{1, -41}}, "100" "000001" "000000" "111111010111" "0110"},
        BlockCase{"EscapeLongRun", 0, 128, 128, {{63, 2}}, "100" "000001" "111110" "000000000010" "0110"},
        BlockCase{"Run31AndEscapedRun7", 0, 128, 128, {{32, -1}, {40, 40}},
                  "100" "00000000000110111" "000001" "000111" "000000101000" "0110"},
        BlockCase{"Level2047", 4, 128, 128, {{1, 2047}, {2, -2047}},
                  "00" "000001" "000000" "011111111111" "000001" "000000" "100000000001" "0110"}),
    [](const ::testing::TestParamInfo<BlockCase>& info) { return std::string(info.param.name); });

TEST_F(BlockCoderTest, AcTableIsAPrefixCodeWithEveryPair) {
    std::set<std::pair<int, int>> pairs;
    std::vector<std::string> codes = {"0110", "000001"};
    int maxLevel[32] = {};
    for (int i = 0; i < 2 * kAcPairs; ++i) {
        const AcCode& e = kAcTable[i];
        std::string text;
        for (int b = e.length - 1; b >= 0; --b) text += ((e.code >> b) & 1u) ? '1' : '0';
        ASSERT_EQ(text, e.text) << i;
        ASSERT_EQ(text.back(), e.level < 0 ? '1' : '0') << i;
        ASSERT_TRUE(pairs.insert({e.run, e.level}).second) << i;
        if (e.level > 0) maxLevel[e.run] = std::max(maxLevel[e.run], static_cast<int>(e.level));
        codes.push_back(text);
    }
    EXPECT_EQ(kAcTable[2 * kAcPairs].level, kAcTableEnd);
    EXPECT_STREQ(kAcTable[2 * kAcPairs].text, "0110");
    const int expected[32] = {40, 18, 5, 4, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
                              1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    for (int run = 0; run < 32; ++run) EXPECT_EQ(maxLevel[run], expected[run]) << run;
    for (const std::string& a : codes)
        for (const std::string& b : codes)
            if (&a != &b) {
                ASSERT_NE(b.compare(0, a.size(), a), 0) << a << " is a prefix of " << b;
            }
}

class MacroblockTest : public BlockCoderTest {
protected:
    void SetUp() override {
        BlockCoderTest::SetUp();
        gSettings.XMBlock = 2;
        for (int b = 0; b < 6; ++b) levels[64 * b] = 128;
    }
    void SetLumaDc(int32_t dc) {
        for (int b = 0; b < 4; ++b) levels[64 * b] = dc;
    }
    int32_t levels[6 * 64] = {};
    int32_t quantisers[4] = {9, 12, 9, 9};
    int32_t types[4] = {1, 2, 1, 1};
};

TEST_F(MacroblockTest, SliceHeaderAndTypes) {
    gSettings.IntraDCPrecision = 0;
    EncodeMacroblock(1, 0, levels, quantisers, types, 1, 0);
    const std::string blocks = "1000110" "1000110" "1000110" "1000110" "000110" "000110";
    EXPECT_EQ(QueuedText(), "000000000000000000000001" "00000010" "01001" "0" "1" "1" + blocks);
    StartCodeList();
    levels[0] = 130;  // the running DC carries over within the slice
    EncodeMacroblock(0, 1, levels, quantisers, types, 0, 0);
    EXPECT_EQ(QueuedText().substr(0, 16), "1" "01" "01100" "01" "10" "0110");
}

TEST_F(MacroblockTest, RetryRestoresRunningDc) {
    gSettings.IntraDCPrecision = 1;  // reset value 256
    EncodeMacroblock(0, 0, levels, quantisers, types, 1, 0);
    SetLumaDc(200);
    StartCodeList();
    EncodeMacroblock(0, 1, levels, quantisers, types, 0, 0);
    const std::string first = QueuedText();
    SetLumaDc(100);  // a coarser attempt with other levels
    StartCodeList();
    EncodeMacroblock(0, 1, levels, quantisers, types, 0, 1);
    SetLumaDc(200);
    StartCodeList();
    EncodeMacroblock(0, 1, levels, quantisers, types, 0, 1);
    EXPECT_EQ(QueuedText(), first);
    EXPECT_EQ(gRunningDc.value[0], 200);
    EXPECT_EQ(gRunningDc.saved[0], 128);
}

}  // namespace
