// The job's error text: one line per report, capped, with a fallback for codes without a text;
// and every message's conversions against the argument kinds its callers pass.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "messages/catalogue.h"
#include "messages/codes.h"
#include "messages/report.h"
#include "support/state.h"

namespace {

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        BindErrorText(text_, kModulePictor);
    }
    char text_[1024];
};

// At most 1023 characters: a line that would pass them is left out whole, a shorter one still
// fits. An argument longer than the whole text is cut while expanding, never written past the end.
TEST_F(ReportTest, LinesThatNoLongerFitAreDroppedWhole) {
    auto line = [](size_t n, char c) {
        return "Pictor error 2: Cannot open <" + std::string(n, c) + "> \n";
    };
    EXPECT_EQ(ReportError(kMsgSizeAspect, 352, 240, "job.tp"), 1);
    for (size_t n : {200, 200, 200, 208, 207, 5000})
        ReportError(kMsgCannotOpen, std::string(n, n % 2 ? 'a' : 'b').c_str());
    const std::string expected =
        "Pictor error 43: Mismatch between Image Size '352x240' and ASPECT_RATIO '9:16' "
        "<job.tp>\n" +
        line(200, 'b') + line(200, 'b') + line(200, 'b') + line(207, 'a');
    EXPECT_EQ(std::string(text_), expected);
    EXPECT_EQ(expected.size(), 1023u);
}

// The fallback replaces everything reported so far; code 4 is the heading, not a message of this
// module.
TEST_F(ReportTest, AnUnknownCodeWipesTheTextAndLeavesTheFallback) {
    for (int code : {5, 4, 60}) {
        EXPECT_EQ(ReportError(kMsgPanScanMissing, "job.tp"), 1);
        EXPECT_EQ(ReportError(code), 0);
        EXPECT_EQ(std::string(text_), std::string(VARNERRMSG_CANT_FIND_MESSAGE) + "\n");
    }
}

// The conversion letters of a printf format in order ('i' counted as 'd', '?' for a format that
// ends inside one); "%%" takes no argument.
std::string ConversionKinds(const char* format) {
    std::string kinds;
    for (const char* p = std::strchr(format, '%'); p != nullptr; p = std::strchr(p + 1, '%')) {
        p += 1 + std::strspn(p + 1, "-+ #0123456789.");
        if (*p == '\0') return kinds + '?';
        if (*p != '%') kinds += *p == 'i' ? 'd' : *p;
    }
    return kinds;
}

// Every caller reports through Report<code>, which does not compile when its arguments differ in
// kind from the list's; the list's kinds are each format's conversions.
static_assert(KindsAre<const char*>(ArgumentKindsOf(kMsgCannotOpen)));
static_assert(KindsAre<int32_t, char*>(ArgumentKindsOf(kMsgPictureDoesNotFit)));
static_assert(!KindsAre<int>(ArgumentKindsOf(kMsgCannotOpen)));
static_assert(!KindsAre<const char*, int>(ArgumentKindsOf(kMsgWidthNotSupported)));
static_assert(!KindsAre<int, const char*, const char*>(ArgumentKindsOf(kMsgSizePal)));
static_assert(!KindsAre<double, const char*>(ArgumentKindsOf(kMsgBitRate)));
static_assert(!KindsAre<>(ArgumentKindsOf(3000)));

TEST(MessageList, EveryFormatTakesTheArgumentsItsCallersPass) {
    ASSERT_EQ(ConversionKinds("%-5d%%%s%.3s%u%"), "dssu?");
    for (int i = 0; i < kMessageCount; ++i)
        EXPECT_EQ(ConversionKinds(kMessages[i].text), kMessages[i].argumentKinds)
            << kMessages[i].name;
}

}  // namespace
