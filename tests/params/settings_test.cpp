#include <gtest/gtest.h>

#include <string>

#include "api/job_driver.h"
#include "messages/report.h"
#include "params/settings.h"
#include "support/state.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        BindErrorText(text_, kModulePictor);
        std::snprintf(gSwitches.pictureName, sizeof gSwitches.pictureName, "%s", "/w/job.tif");
    }
    void SetSize(int width, int height) {
        gSettings.FrameWidth = width;
        gSettings.FrameHeight = height;
        gSettings.XMBlock = gSettings.MBlockPerSlice = width / 16;
        gSettings.YMBlock = height / 16;
    }
    char text_[1024] = {};
};

struct SizeCase {
    int width, height;
    int mbCount, hValue, hExt, vValue, vExt;
};
class DeriveSizeTest : public SettingsTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(DeriveSizeTest, CodedAreaAndHeaderFields) {
    const SizeCase& c = GetParam();
    SetSize(c.width, c.height);
    ASSERT_EQ(DeriveSettings(), 0);
    EXPECT_EQ(gSettings.MBCount, c.mbCount);
    EXPECT_EQ(gSettings.CodedXOffset, 0);
    EXPECT_EQ(gSettings.CodedYOffset, 0);
    EXPECT_EQ(gSettings.HorizontalSizeValue, c.hValue);
    EXPECT_EQ(gSettings.HorizontalSizeExtension, c.hExt);
    EXPECT_EQ(gSettings.VerticalSizeValue, c.vValue);
    EXPECT_EQ(gSettings.VerticalSizeExtension, c.vExt);
    EXPECT_EQ(gSettings.BlocksPerMB, 6);
    EXPECT_EQ(gSettings.MaxMBBits, 4608);
    EXPECT_EQ(gSettings.BitRateValue, 11468);
    EXPECT_EQ(gSettings.VbvBufferSizeValue, 112);
    EXPECT_EQ(gSettings.VbvBufferSizeExtension, 0);
    EXPECT_STREQ(text_, "");
}
INSTANTIATE_TEST_SUITE_P(Sizes, DeriveSizeTest,
                         ::testing::Values(SizeCase{720, 576, 1620, 720, 0, 576, 0},
                                           SizeCase{352, 240, 330, 352, 0, 240, 0},
                                           SizeCase{96, 64, 24, 96, 0, 64, 0},
                                           SizeCase{8192 + 16, 4096 + 32, 513 * 258, 16, 2, 32, 1}));

TEST_F(SettingsTest, OddSizesDropTheSmallerHalfOnTheLeftAndTop) {
    gSettings.FrameWidth = 730;
    gSettings.FrameHeight = 490;
    gSettings.XMBlock = 45;
    gSettings.YMBlock = 30;
    ASSERT_EQ(DeriveSettings(), 0);
    EXPECT_EQ(gSettings.CodedXOffset, 5);
    EXPECT_EQ(gSettings.CodedYOffset, 5);
}

struct RefusalCase {
    int xmb, ymb, buffer;
    const char* text;
};
class DeriveRefusalTest : public SettingsTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(DeriveRefusalTest, SizesTheStreamCannotExpress) {
    const RefusalCase& c = GetParam();
    gSettings.XMBlock = c.xmb;
    gSettings.YMBlock = c.ymb;
    gSettings.BUFFER = c.buffer;
    EXPECT_EQ(DeriveSettings(), -1);
    EXPECT_EQ(std::string(text_), c.text);
}
INSTANTIATE_TEST_SUITE_P(
    Refusals, DeriveRefusalTest,
    ::testing::Values(
        RefusalCase{1025, 30, 1835008, "Pictor error 10: Image width [16400] is not supported </w/job.tif> \n"},
        RefusalCase{256, 30, 1835008, ""},  // 4096 wide: no line of its own
        RefusalCase{0, 30, 1835008, ""},
        RefusalCase{45, 1025, 1835008, "Pictor error 11: Image height [16400] is not supported </w/job.tif> \n"},
        RefusalCase{45, 256, 1835008,
                    "Pictor error 12: Vertical_size must not be zero or multiple of 4096 </w/job.tif> \n"},
        RefusalCase{45, 0, 1835008,
                    "Pictor error 12: Vertical_size must not be zero or multiple of 4096 </w/job.tif> \n"}));

TEST_F(SettingsTest, DefaultsDoNotTouchFieldsWithoutADefault) {
    gSettings.Target = 1234567;
    gSettings.ColourPrimaries = 5;
    gSettings.PanScanHorOffset = 65216;
    SetDefaultSettings();
    EXPECT_EQ(gSettings.Target, 1234567);
    EXPECT_EQ(gSettings.ColourPrimaries, 5);
    EXPECT_EQ(gSettings.PanScanHorOffset, 65216);
    EXPECT_EQ(gSettings.FrameWidth, 720);
    EXPECT_EQ(gSettings.FrameHeight, 480);
    EXPECT_EQ(gSettings.IFixedQstep, 4);
    EXPECT_EQ(gSettings.AltIntraTable, 1);
}

}  // namespace
