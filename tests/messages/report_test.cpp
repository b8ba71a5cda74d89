// The job's error text: one line per report, capped, with a fallback for codes without a text.
#include <gtest/gtest.h>

#include <string>

#include "messages/catalogue.h"
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

// At most 1023 characters: a line that would pass them is left out whole, a shorter one still fits.
// An argument longer than the whole text is cut while expanding, never written past the end.
TEST_F(ReportTest, LinesThatNoLongerFitAreDroppedWhole) {
    auto line = [](size_t n, char c) {
        return "Pictor error 2: Cannot open <" + std::string(n, c) + "> \n";
    };
    EXPECT_EQ(ReportError(43, 352, 240, "job.tp"), 1);
    for (size_t n : {200, 200, 200, 208, 207, 5000})
        ReportError(2, std::string(n, n % 2 ? 'a' : 'b').c_str());
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
    for (int code : {5, 4, 49}) {
        EXPECT_EQ(ReportError(35, "job.tp"), 1);
        EXPECT_EQ(ReportError(code), 0);
        EXPECT_EQ(std::string(text_), std::string(VARNERRMSG_CANT_FIND_MESSAGE) + "\n");
    }
}

TEST(Severity, ClassDependsOnTheConditionOnly) {
    // Condition, detail, class.
    const int cases[][3] = {{10, 0, 2},  {100, 1, 2}, {1000, -7, 2}, {20, 3, 1},
                            {140, 0, 1}, {30, 1, 0},  {999, 9, 0}};
    for (const auto& c : cases) EXPECT_EQ(SeverityOf(c[0], c[1]), c[2]) << c[0];
}

}  // namespace
