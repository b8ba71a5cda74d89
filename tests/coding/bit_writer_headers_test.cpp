// Bit packing and the byte-exact stream headers.
#include <gtest/gtest.h>

#include "coding/bit_writer.h"
#include "coding/headers.h"
#include "coding/intra_matrix.h"
#include "coding/scan.h"
#include "coding_test_util.h"
#include "params/settings.h"
#include "support/state.h"

namespace {

class BitWriterTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAllState(); }
};

TEST_F(BitWriterTest, PacksMostSignificantFirstAndCounts) {
    ByteCapture capture;
    ResetBitWriter();
    PutBits(0x7, 0);
    PutBits(0x7, -4);
    EXPECT_EQ(BitsWritten(), 0);
    PutBits(0x1F, 5);
    EXPECT_EQ(BitsWritten(), 5);
    AlignToByte();
    EXPECT_EQ(BitsWritten(), 8);
    AlignToByte();  // already aligned: nothing more
    PutBits(static_cast<uint32_t>(-3), 12);
    PutBits(0xABCDEF01u, 32);
    AlignToByte();
    EXPECT_EQ(capture.Bytes(), Hex("F8 FF DA BC DE F0 10"));
    EXPECT_EQ(gBitWriter.bytesWritten, 7);
}

TEST_F(BitWriterTest, NothingEmittedWithoutStream) {
    ResetBitWriter();
    PutBits(0xFFFF, 16);
    EXPECT_EQ(BitsWritten(), 16);
    ByteCapture capture;
    ResetBitWriter();
    PutBits(0x5, 3);  // stale accumulator bits from before the reset are shifted out
    PutBits(0, 5);
    EXPECT_EQ(capture.Bytes(), Hex("A0"));
}

TEST_F(BitWriterTest, CodeListQueuesCountsAndFlushes) {
    ByteCapture capture;
    ResetBitWriter();
    StartCodeList();
    EXPECT_EQ(QueuedBits(), 0);
    QueueBits(1, 24);
    QueueBits(0x1FF, 4);  // only the low 4 bits count
    QueueBits(0x3, 4);
    EXPECT_EQ(QueuedBits(), 32);
    EXPECT_EQ(QueuedText(), "00000000000000000000000111110011");
    FlushQueue();
    EXPECT_EQ(capture.Bytes(), Hex("00 00 01 F3"));
    StartCodeList();
    EXPECT_EQ(gCodeList.count, 0);
}

class HeaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        SetDefaultSettings();
        gSettings.Target = 1000000;
        gSettings.ColourPrimaries = gSettings.TransferCharact = gSettings.MatrixCoefficients = 6;
        ASSERT_EQ(DeriveSettings(), 0);
        for (int i = 0; i < 64; ++i) gIntraMatrix.weights[i] = kDefaultIntraMatrix[i] + i;
        gIntraMatrix.weights[0] = 8;
        ResetBitWriter();
    }
};

uint32_t ReadBits(const std::vector<uint8_t>& bytes, size_t bit, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++bit) v = (v << 1) | ((bytes[bit / 8] >> (7 - bit % 8)) & 1u);
    return v;
}

TEST_F(HeaderTest, SequenceHeaderAndExtension) {
    ByteCapture capture;
    WriteSequenceHeader();
    const std::vector<uint8_t> bytes = capture.Bytes();
    ASSERT_EQ(bytes.size(), 86u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8), Hex("00 00 01 B3 2D 01 E0 24"));
    EXPECT_EQ(ReadBits(bytes, 64, 18), 11468u);
    EXPECT_EQ(ReadBits(bytes, 83, 10), 112u);
    EXPECT_EQ(ReadBits(bytes, 93, 2), 1u);  // constrained 0, load_intra_quantiser_matrix 1
    for (int k = 0; k < 64; ++k) {
        const ScanPosition p = kZigZagScan[k];
        EXPECT_EQ(ReadBits(bytes, 95 + 8 * k, 8), static_cast<uint32_t>(gIntraMatrix.weights[p.column + 8 * p.row])) << k;
    }
    EXPECT_EQ(ReadBits(bytes, 95 + 512, 1), 0u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 76, bytes.end()), Hex("00 00 01 B5 14 82 00 01 00 00"));
}

TEST_F(HeaderTest, PalSixteenByNineSize) {
    gSettings.FrameHeight = 576;
    gSettings.YMBlock = 36;
    gSettings.PelAspectRatio = 3;
    gSettings.FrameRate_s = 3;
    ASSERT_EQ(DeriveSettings(), 0);
    ByteCapture capture;
    WriteSequenceHeader();
    const std::vector<uint8_t> bytes = capture.Bytes();
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8), Hex("00 00 01 B3 2D 02 40 33"));
}

struct HeaderCase {
    const char* name;
    void (*write)();
    int panScan;
    int progressiveSequence;
    const char* bytes;
};

class HeaderBytes : public HeaderTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(HeaderBytes, ExactBytes) {
    const HeaderCase& c = GetParam();
    gSettings.PanScan = c.panScan;
    gSettings.PanScanHorOffset = -32;
    gSettings.PanScanVerOffset = 0;
    gSettings.ProgressiveSeque = c.progressiveSequence;
    ByteCapture capture;
    c.write();
    EXPECT_EQ(capture.Bytes(), Hex(c.bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Headers, HeaderBytes,
    ::testing::Values(
        HeaderCase{"SequenceDisplay", WriteSequenceDisplayExtension, 0, 0, "00 00 01 B5 25 06 06 06 0B 42 0F 00"},
        HeaderCase{"Gop", WriteGopHeader, 0, 0, "00 00 01 B8 00 08 00 00"},
        HeaderCase{"Picture", WritePictureHeader, 0, 0, "00 00 01 00 00 0F FF F8 00 00 01 B5 8F FF F3 C9 80"},
        HeaderCase{"PanScanInterlaced", WritePictureHeader, 1, 0,
                   "00 00 01 00 00 0F FF F8 00 00 01 B5 8F FF F3 C9 80 00 00 01 B5 7F FE 08 00 07 FF 82 00 01"},
        HeaderCase{"PanScanProgressive", WritePictureHeader, 1, 1,
                   "00 00 01 00 00 0F FF F8 00 00 01 B5 8F FF F3 C9 80 00 00 01 B5 7F FE 08 00 04"},
        HeaderCase{"SequenceEnd", WriteSequenceEnd, 0, 0, "00 00 01 B7"}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

TEST_F(HeaderTest, IntraDcPrecisionInPictureCodingExtension) {
    gSettings.IntraDCPrecision = 2;
    gSettings.TopFieldFirst = 0;
    ByteCapture capture;
    WritePictureHeader();
    const std::vector<uint8_t> bytes = capture.Bytes();
    ASSERT_EQ(bytes.size(), 17u);
    EXPECT_EQ(bytes[14], 0xFBu);  // f_code 1111, intra_dc_precision 10, picture_structure 11
    EXPECT_EQ(bytes[15], 0x49u);  // top_field_first 0
}

}  // namespace
