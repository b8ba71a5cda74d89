#include <tuple>

#include "tiff/tiff_test_support.h"

namespace {

struct Seen {
    uint32_t tag, type, count;
    std::vector<uint32_t> values;
};
std::vector<Seen> gSeen;
void Spy(uint32_t tag, uint32_t type, uint32_t count, const uint32_t* values) {
    std::vector<uint32_t> list;
    if (values != nullptr) list.assign(values, values + count);
    gSeen.push_back({tag, type, count, list});
}

class DirectoryTest : public PictureInputTest {
protected:
    int Walk(const TiffFile& tiff) {
        gSeen.clear();
        path_ = Write(WriteTiffFile(tiff));
        FILE* file = TrackedOpen(path_.c_str(), "rb");
        ResetTiffFields();
        return ReadTiffDirectory(file, Spy);
    }
};

TEST_F(DirectoryTest, ValuesInTheEntryAndAtTheirOffsetInBothByteOrders) {
    for (bool big : {false, true}) {
        TiffFile tiff;
        tiff.bigEndian = big;
        tiff.entries = {Short(256, {720}), Short(258, {8, 16}), Short(259, {1, 2, 3}), Long(273, {0x01020304}),
                        Long(279, {7, 0x80000001})};
        ASSERT_EQ(Walk(tiff), 0);
        EXPECT_EQ(gTiffFields.byteOrder, big ? kBigEndian : kLittleEndian);
        ASSERT_EQ(gSeen.size(), 5u);
        EXPECT_EQ(gSeen[0].values, std::vector<uint32_t>{720});
        EXPECT_EQ(gSeen[1].values, (std::vector<uint32_t>{8, 16}));
        EXPECT_EQ(gSeen[2].values, (std::vector<uint32_t>{1, 2, 3}));
        EXPECT_EQ(gSeen[3].values, std::vector<uint32_t>{0x01020304});
        EXPECT_EQ(gSeen[4].values, (std::vector<uint32_t>{7, 0x80000001}));
        EXPECT_EQ(gTiffFields.ranPastEnd, 0);
    }
}

TEST_F(DirectoryTest, OtherTypesArriveWithoutValuesAndTagZeroIsSkipped) {
    TiffFile tiff;
    tiff.entries = {TiffEntry{282, kRational, 1, {72, 1}}, TiffEntry{0, kShort, 1, {5}},
                    TiffEntry{305, kAscii, 6, {'p', 'i', 'c', 't', 'o', 0}}, TiffEntry{256, kByte, 1, {9}}};
    ASSERT_EQ(Walk(tiff), 0);
    ASSERT_EQ(gSeen.size(), 3u);
    EXPECT_EQ(std::make_tuple(gSeen[0].tag, gSeen[0].type, gSeen[0].count), std::make_tuple(282u, 5u, 1u));
    EXPECT_EQ(std::make_tuple(gSeen[1].tag, gSeen[1].count), std::make_tuple(305u, 6u));
    EXPECT_EQ(gSeen[2].tag, 256u);
    for (const Seen& s : gSeen) EXPECT_TRUE(s.values.empty());
}

TEST_F(DirectoryTest, CountUsesItsLow16Bits) {
    TiffFile tiff;
    tiff.entries = {TiffEntry{258, kShort, 0x10002, {}, true, 8 | 8 << 16}};
    ASSERT_EQ(Walk(tiff), 0);
    ASSERT_EQ(gSeen.size(), 1u);
    EXPECT_EQ(gSeen[0].count, 2u);
    EXPECT_EQ(gSeen[0].values, (std::vector<uint32_t>{8, 8}));
}

TEST_F(DirectoryTest, WrongMarkFailsWithoutMessage) {
    std::vector<uint8_t> bytes = WriteTiffFile(TiffFile{});
    bytes[0] = 'X';
    path_ = Write(bytes);
    EXPECT_EQ(DetectSourceType(path_.c_str()), 0);
    FILE* file = TrackedOpen(path_.c_str(), "rb");
    EXPECT_EQ(ReadTiffDirectory(file, Spy), -1);
    EXPECT_EQ(Text(), "");
}

TEST_F(DirectoryTest, DetectionOfMarksAndMissingFiles) {
    EXPECT_EQ(DetectSourceType(Write({'M', 'M', 0, 42}).c_str()), 1);
    EXPECT_EQ(gTiffFields.byteOrder, kBigEndian);
    EXPECT_EQ(DetectSourceType(Write({'I', 'I'}).c_str()), 1);
    EXPECT_EQ(gTiffFields.byteOrder, kLittleEndian);
    EXPECT_EQ(DetectSourceType(Write({'P', '6', '\n'}).c_str()), 0);
    EXPECT_EQ(DetectSourceType(Write({'I'}).c_str()), 0);
    EXPECT_EQ(DetectSourceType(Write({}).c_str()), 0);
    std::string missing = dir_ / "missing.tif";
    EXPECT_EQ(DetectSourceType(missing.c_str()), -1);
    EXPECT_EQ(Text(), Line(13, "Cannot open TIFF source file <" + missing + ">"));
    EXPECT_EQ(gFileRegistry.count, 0);
}

// Nothing read past the file's end is used; the walk marks the record instead.
TEST_F(DirectoryTest, ReadsPastTheEndMarkTheRecord) {
    TiffFile far;
    far.entries = {Short(256, {720})};
    far.forceDirectoryOffset = true;
    far.directoryOffset = 0xFFFFFFF0u;
    EXPECT_EQ(Walk(far), 0);
    EXPECT_TRUE(gSeen.empty());
    EXPECT_EQ(gTiffFields.ranPastEnd, 1);

    TiffFile values;
    values.entries = {Short(256, {720}), TiffEntry{258, kShort, 3, {8, 8, 8}, true, 0x7FFFFFF0u}, Short(257, {576})};
    EXPECT_EQ(Walk(values), 0);
    ASSERT_EQ(gSeen.size(), 2u);  // the entry whose values lie outside is not handed on
    EXPECT_EQ(gSeen[1].tag, 257u);
    EXPECT_EQ(gTiffFields.ranPastEnd, 1);

    // An entry count of 65535 in a short file: the walk stops at the end.
    TiffFile many;
    many.entries = {Short(256, {720})};
    std::vector<uint8_t> bytes = WriteTiffFile(many);
    bytes[bytes.size() - 4 - 12 - 2] = 0xFF;
    bytes[bytes.size() - 4 - 12 - 1] = 0xFF;
    path_ = Write(bytes);
    FILE* file = TrackedOpen(path_.c_str(), "rb");
    ResetTiffFields();
    gSeen.clear();
    EXPECT_EQ(ReadTiffDirectory(file, Spy), 0);
    EXPECT_EQ(gSeen.size(), 1u);
    EXPECT_EQ(gTiffFields.ranPastEnd, 1);
}

}  // namespace
