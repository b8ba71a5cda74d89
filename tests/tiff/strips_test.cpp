#include "tiff/tiff_test_support.h"

namespace {

class StripsTest : public PictureInputTest {
protected:
    // A 96 x 64 picture of one strip with the given samples and tags.
    std::vector<uint8_t> Picture(std::vector<TiffEntry> entries, std::vector<uint8_t> strip, bool big = false) {
        TiffFile tiff;
        tiff.bigEndian = big;
        tiff.strips = {std::move(strip)};
        tiff.entries = {Short(256, {96}), Short(257, {64}), Long(273, {}), Long(279, {})};
        tiff.entries.insert(tiff.entries.end(), entries.begin(), entries.end());
        return WriteTiffFile(tiff);
    }
    void SetStrip(uint32_t rows, uint32_t bytes) {
        ResetTiffFields();
        gSettings.FrameWidth = 96;
        gTiffFields.bitsPerPixel = 8;
        gTiffFields.rowsPerStrip = rows;
        gTiffFields.stripByteCounts[0] = bytes;
    }
};

TEST_F(StripsTest, BitOrderAndSampleBits) {
    uint8_t bytes[3] = {0x01, 0xA5, 0xF0};
    ReverseBitOrder(bytes, 3);
    EXPECT_EQ(bytes[0], 0x80);
    EXPECT_EQ(bytes[1], 0xA5);
    EXPECT_EQ(bytes[2], 0x0F);
    const uint8_t strip[3] = {0xB4, 0x12, 0x34};  // 1011 0100 ...
    gTiffFields.bitsPerSample[0] = 1;
    gTiffFields.bitsPerSample[1] = 4;
    gTiffFields.bitsPerSample[2] = 16;
    EXPECT_EQ(ReadSampleBits(0, 0, strip, 3), 1u);
    EXPECT_EQ(ReadSampleBits(1, 0, strip, 3), 0u);
    EXPECT_EQ(ReadSampleBits(2, 1, strip, 3), 0xDu);
    EXPECT_EQ(ReadSampleBits(8, 2, strip, 3), 0x1234u);
    EXPECT_EQ(ReadSampleBits(4, 2, strip, 3), 0x4123u);
    EXPECT_EQ(ReadSampleBits(16, 2, strip, 3), 0x3400u);  // past the strip: zero bits
    EXPECT_EQ(ReadSampleBits(20, 1, strip, 3), 0x4u);
}

TEST_F(StripsTest, PackBitsRunsAndTheirEnds) {
    uint8_t out[96 * 2];
    // D = 192: a repeat of 128 bytes, a -128 header that is skipped, a literal of 64 bytes.
    std::vector<uint8_t> raw = {0x81, 7, 0x80, 63};
    for (int k = 0; k < 64; ++k) raw.push_back(static_cast<uint8_t>(k));
    raw.push_back(0x55);  // left over after D bytes: ignored
    SetStrip(2, static_cast<uint32_t>(raw.size()));
    ASSERT_EQ(UnpackBitsStrip(raw.data(), out, 0), 0);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[127], 7);
    EXPECT_EQ(out[128], 0);
    EXPECT_EQ(out[191], 63);
    EXPECT_EQ(Text(), "");

    // The input ends before D bytes: message 16.
    raw.resize(3 + 10);
    SetStrip(2, static_cast<uint32_t>(raw.size()));
    EXPECT_EQ(UnpackBitsStrip(raw.data(), out, 0), -1);
    EXPECT_EQ(Text(), Line(16, "Source_position have been became to equal to StripByteCnt <pic.tif> "));
}

// Runs that would cross the end of the input or of D are cut there; nothing
// is read or written outside the buffers (checked by the sanitizer build).
TEST_F(StripsTest, PackBitsOverrunsAreCut) {
    std::vector<uint8_t> raw = {0x81, 1, 0x81, 2};  // 128 + 128 bytes into D = 96
    std::vector<uint8_t> out(96, 0xEE);
    SetStrip(1, 4);
    EXPECT_EQ(UnpackBitsStrip(raw.data(), out.data(), 0), 0);
    EXPECT_EQ(out[95], 1);
    raw = {0x7F, 9, 9};  // literal of 128 bytes with 2 present
    SetStrip(1, 3);
    EXPECT_EQ(UnpackBitsStrip(raw.data(), out.data(), 0), -1);
    raw = {0x7F};
    SetStrip(1, 1);
    EXPECT_EQ(UnpackBitsStrip(raw.data(), out.data(), 0), -1);
    raw = {0xFE};  // a repeat without its byte
    SetStrip(1, 1);
    EXPECT_EQ(UnpackBitsStrip(raw.data(), out.data(), 0), -1);
    SetStrip(0, 0);  // D = 0: nothing to do
    EXPECT_EQ(UnpackBitsStrip(raw.data(), out.data(), 0), 0);
}

TEST_F(StripsTest, FillOrder2BilevelBlackIsZero) {
    std::vector<uint8_t> strip(96 * 64 / 8, 0);
    strip[0] = 0x01;
    ASSERT_EQ(ReadRaster(Picture({Short(258, {1}), Short(262, {1}), Short(266, {2})}, strip)), 0) << Text();
    EXPECT_EQ(gPlanes.red[0], 255);
    EXPECT_EQ(gPlanes.green[0], 255);
    for (int c = 1; c < 8; ++c) EXPECT_EQ(gPlanes.blue[c], 0);
}

TEST_F(StripsTest, GreyRampsOfWhiteIsZero) {
    std::vector<uint8_t> four(96 * 64 / 2, 0);
    four[0] = 0xF0;  // 15 then 0
    ASSERT_EQ(ReadRaster(Picture({Short(258, {4}), Short(262, {0})}, four)), 0);
    EXPECT_EQ(gPlanes.red[0], 0);
    EXPECT_EQ(gPlanes.red[1], 255);
    ResetAllState();
    std::vector<uint8_t> eight(96 * 64, 0);
    eight[1] = 17;
    ASSERT_EQ(ReadRaster(Picture({Short(258, {8}), Short(262, {0})}, eight)), 0);
    EXPECT_EQ(gPlanes.green[0], 255);
    EXPECT_EQ(gPlanes.green[1], 238);
}

TEST_F(StripsTest, PaletteTakesHighBytesAtStrides) {
    std::vector<uint32_t> map(768);
    for (int v = 0; v < 256; ++v) {
        map[v] = static_cast<uint32_t>(v << 8 | 0xFF);
        map[256 + v] = static_cast<uint32_t>((255 - v) << 8);
        map[512 + v] = static_cast<uint32_t>((v / 2) << 8 | 0x7F);
    }
    std::vector<uint8_t> strip(96 * 64);
    for (size_t n = 0; n < strip.size(); ++n) strip[n] = static_cast<uint8_t>(n);
    ASSERT_EQ(ReadRaster(Picture({Short(258, {8}), Short(262, {3}), Short(320, map)}, strip, true)), 0);
    for (int v : {0, 1, 100, 255}) {
        EXPECT_EQ(gPlanes.red[v], v);
        EXPECT_EQ(gPlanes.green[v], 255 - v);
        EXPECT_EQ(gPlanes.blue[v], v / 2);
    }
    // A 4-bit palette uses a stride of 16.
    ResetAllState();
    std::vector<uint32_t> small(48);
    for (int v = 0; v < 16; ++v) small[v] = 0x1100u * v, small[16 + v] = 0x0100u * v, small[32 + v] = 0xFF00u;
    std::vector<uint8_t> nibbles(96 * 64 / 2, 0x3C);
    ASSERT_EQ(ReadRaster(Picture({Short(258, {4}), Short(262, {3}), Short(320, small)}, nibbles)), 0);
    EXPECT_EQ(gPlanes.red[0], 0x33);
    EXPECT_EQ(gPlanes.green[1], 0x0C);
    EXPECT_EQ(gPlanes.blue[1], 0xFF);
    // A 1-bit palette keeps the stride of 2.
    ResetAllState();
    std::vector<uint8_t> bits(96 * 64 / 8, 0x40);
    TiffEntry map1 = Short(320, {0x1000, 0x2000, 0x3000, 0x4000, 0x5000, 0x6000});
    ASSERT_EQ(ReadRaster(Picture({Short(258, {1}), Short(262, {3}), map1}, bits)), 0);
    EXPECT_EQ(gPlanes.red[0], 0x10);
    EXPECT_EQ(gPlanes.red[1], 0x20);
    EXPECT_EQ(gPlanes.green[1], 0x40);
    EXPECT_EQ(gPlanes.blue[1], 0x60);
}

TEST_F(StripsTest, SixteenBitSamplesKeepTheirHighByteInEitherOrder) {
    for (bool big : {false, true}) {
        ResetAllState();
        std::vector<uint8_t> strip;
        for (int n = 0; n < 96 * 64 * 3; ++n) {
            strip.push_back(0x12);
            strip.push_back(0x34);
        }
        ASSERT_EQ(ReadRaster(Picture({Short(258, {16, 16, 16}), Short(262, {2}), Short(277, {3})}, strip, big)), 0);
        EXPECT_EQ(gPlanes.red[0], big ? 0x12 : 0x34);
        EXPECT_EQ(gPlanes.blue[96 * 64 - 1], big ? 0x12 : 0x34);
    }
}

TEST_F(StripsTest, StripsFillTheirRowsAndMissingStripsLeaveZero) {
    std::vector<uint8_t> rgb(96 * 480 * 3, 200);
    TiffOptions options;
    options.rowsPerStrip = 16;
    TiffFile tiff = RgbTiffLayout(96, 480, rgb, options);
    ASSERT_EQ(ReadRaster(WriteTiffFile(tiff)), 0);
    EXPECT_EQ(gPlanes.red[96 * 480 - 1], 200);
    ResetAllState();
    tiff.strips.pop_back();
    ASSERT_EQ(ReadRaster(WriteTiffFile(tiff)), 0);
    EXPECT_EQ(gTiffFields.stripCount, 29u);
    EXPECT_EQ(gPlanes.red[96 * 464 - 1], 200);
    EXPECT_EQ(gPlanes.red[96 * 464], 0);
}

// An uncompressed strip shorter than its rows: the samples it lacks read as 0.
TEST_F(StripsTest, ShortUncompressedStripReadsZeros) {
    std::vector<uint8_t> strip(96 * 3, 9);
    ASSERT_EQ(ReadRaster(Picture({Short(258, {8, 8, 8}), Short(262, {2}), Short(277, {3})}, strip)), 0);
    EXPECT_EQ(gPlanes.red[95], 9);
    EXPECT_EQ(gPlanes.red[96], 0);
}

TEST_F(StripsTest, StripPastTheEndIsAShortReadBeforeAnyAllocation) {
    TiffFile tiff = RgbTiffLayout(96, 64, Pattern(96, 64), TiffOptions{});
    for (TiffEntry& e : tiff.entries) {
        if (e.tag == 279) e = Long(279, {0xFFFFFFF0u});
    }
    path_ = Write(WriteTiffFile(tiff));
    EXPECT_EQ(ConvertSourcePicture(path_.c_str()), -1);
    EXPECT_EQ(Text(), Line(18, "TIFF strip data read error. <pic.tif> "));
    EXPECT_EQ(TrackedBlocks(), 6);  // the planes only
}

}  // namespace
