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
    for (int code : {5, 4, 50}) {
        EXPECT_EQ(ReportError(kMsgPanScanMissing, "job.tp"), 1);
        EXPECT_EQ(ReportError(code), 0);
        EXPECT_EQ(std::string(text_), std::string(VARNERRMSG_CANT_FIND_MESSAGE) + "\n");
    }
}

// The kinds of a printf format's conversions in order: 'd' for an int, 's' for a string, '?' for
// anything else; "%%" takes no argument.
std::string ConversionKinds(const char* format) {
    std::string kinds;
    for (const char* p = std::strchr(format, '%'); p != nullptr; p = std::strchr(p, '%')) {
        p += 1 + std::strspn(p + 1, "-+ #0123456789.");
        if (*p == '%') {
            ++p;
            continue;
        }
        kinds += *p == 'd' || *p == 'i' ? 'd' : *p == 's' ? 's' : '?';
        if (*p != '\0') ++p;
    }
    return kinds;
}

TEST(MessageList, EveryFormatTakesTheArgumentsItsCallersPass) {
    ASSERT_EQ(ConversionKinds("%-5d%%%s%.3s"), "dss");
    BindErrorText(nullptr, kModulePictor);
    for (int i = 0; i < kMessageCount; ++i) {
        EXPECT_EQ(ConversionKinds(kMessages[i].text), kMessages[i].argumentKinds)
            << kMessages[i].name;
        EXPECT_STREQ(LookupMessage(kMessages[i].code), kMessages[i].text) << kMessages[i].name;
    }
    // The heading of every line receives the code.
    ASSERT_EQ(varnerrmsg_varn[0].code, 4);
    EXPECT_EQ(ConversionKinds(varnerrmsg_varn[0].format), "d");
}

}  // namespace
