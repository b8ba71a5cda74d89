// The probe says what a job's reading of the picture does: for every picture of the tests and
// every crasher, it accepts what the job converts, names the first message of a job that refuses
// the picture before decoding its strips, and leaves the field record as a reset leaves it.
#include <cstring>

#include "messages/codes.h"
#include "tiff/tiff_detect.h"
#include "tiff/tiff_probe.h"
#include "tiff/tiff_test_support.h"

namespace {

class ProbeTest : public PictureInputTest {};

TEST_F(ProbeTest, SaysWhatTheJobsReadingDoes) {
    std::vector<std::string> files = TestDataFiles("tiff/data", ".tif");
    for (const std::string& path : TestDataFiles("crashers", ".tif")) files.push_back(path);
    ASSERT_FALSE(files.empty());
    ResetTiffFields();
    const TiffFields fresh = *tTiffFields;
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        TiffProbe probe;
        ProbeTiffFile(path.c_str(), &probe);
        EXPECT_STREQ(text_, "");
        EXPECT_EQ(std::memcmp(tTiffFields, &fresh, sizeof fresh), 0);

        ResetAllState();
        BindErrorText(text_, kModulePictor);
        std::strcpy(tMessageNames->pictureName, "pic.tif");
        // The job's steps: the source type test, then the conversion.
        const int type = DetectSourceType(path.c_str());
        if (type == 0) ReportError(kMsgNotSupportedImage, path.c_str());
        const bool converted = type == 1 && ConvertSourcePicture(path.c_str()) == 0;
        const std::vector<int> codes = Codes();
        if (converted) {
            EXPECT_EQ(probe.accepted, 1);
            EXPECT_EQ(probe.messageCode, 0);
            EXPECT_EQ(probe.width, tTiffFields->imageWidth);
            EXPECT_EQ(probe.height, tTiffFields->imageLength);
        } else if (probe.accepted) {
            // Only the decoding of PackBits strips, which the probe leaves to the job, fails.
            EXPECT_EQ(codes, std::vector<int>{kMsgSourcePositionAtEnd});
        } else {
            ASSERT_FALSE(codes.empty());
            EXPECT_EQ(probe.messageCode, codes.front());
        }
        ResetAllState();
        text_[0] = '\0';
    }
}

}  // namespace
