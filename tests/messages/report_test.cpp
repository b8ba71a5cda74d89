#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "messages/catalogue.h"
#include "messages/report.h"
#include "support/state.h"

namespace {

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        std::memset(text_, 'x', sizeof text_);
        EXPECT_EQ(BindErrorText(text_, kModulePictor), 1);
    }
    char text_[1024];
};

TEST_F(ReportTest, BindingEmptiesTheText) { EXPECT_STREQ(text_, ""); }

TEST_F(ReportTest, EachReportIsHeadingMessageAndNewline) {
    EXPECT_EQ(ReportError(13, "/w/still/a.tif"), 1);
    EXPECT_EQ(ReportError(43, 352, 240, "job.tp"), 1);
    EXPECT_EQ(std::string(text_),
              "Pictor error 13: Cannot open TIFF source file </w/still/a.tif>\n"
              "Pictor error 43: Mismatch between Image Size '352x240' and ASPECT_RATIO '9:16' <job.tp>\n");
}

TEST_F(ReportTest, LinesThatNoLongerFitAreDroppedWhole) {
    std::string name(200, 'n');
    std::string expected;
    for (int i = 0; i < 10; ++i) {
        ReportError(2, name.c_str());
        std::string line = "Pictor error 2: Cannot open <" + name + "> \n";
        if (expected.size() + line.size() < 1024) expected += line;
    }
    EXPECT_EQ(std::string(text_), expected);
    EXPECT_LE(std::strlen(text_), 1023u);
    // A short line still fits after a long one was dropped.
    ReportError(41, "j");
    std::string shortLine = "Pictor error 41: TARGET_SIZE is not specified <j>\n";
    if (expected.size() + shortLine.size() < 1024) expected += shortLine;
    EXPECT_EQ(std::string(text_), expected);
}

TEST_F(ReportTest, AnUnknownCodeWipesTheTextAndLeavesTheFallback) {
    ReportError(35, "job.tp");
    EXPECT_EQ(ReportError(5), 0);
    EXPECT_EQ(std::string(text_), std::string(VARNERRMSG_CANT_FIND_MESSAGE) + "\n");
}

TEST_F(ReportTest, OverlongArgumentsAreCutNotOverrun) {
    std::string huge(5000, 'p');
    ReportError(2, huge.c_str());
    EXPECT_LE(std::strlen(text_), 1023u);
}

TEST(Catalogue, EveryTableEndsAndTheHeadingTakesOneInteger) {
    int n = 0;
    while (varnerrmsg_pictor[n].code != -1) ++n;
    EXPECT_EQ(n, 34);
    const char* heading = nullptr;
    for (const VarnMessage* m = varnerrmsg_varn; m->code != -1; ++m) {
        if (m->code == 4) heading = m->format;
    }
    ASSERT_NE(heading, nullptr);
    EXPECT_LT(std::strlen(heading), 100u);
    EXPECT_NE(std::strstr(heading, "%d"), nullptr);
}

TEST(Lookup, ModuleIndicesWithoutATableFindNothing) {
    ResetAllState();
    gReporter.moduleIndex = kModuleNone;
    EXPECT_EQ(LookupMessage(2), nullptr);
    gReporter.moduleIndex = kModuleCommon;
    EXPECT_EQ(LookupMessage(2), nullptr);
    EXPECT_NE(LookupMessage(4), nullptr);
    gReporter.moduleIndex = kModulePictor;
    EXPECT_STREQ(LookupMessage(34), "Ivalid ASPECT_RATIO: %s <%s> ");
}

struct SeverityCase {
    int condition;
    int severity;
};
class SeverityTest : public ::testing::TestWithParam<SeverityCase> {};
TEST_P(SeverityTest, ClassDependsOnTheConditionOnly) {
    for (int detail : {0, 1, -7, 123456}) EXPECT_EQ(SeverityOf(GetParam().condition, detail), GetParam().severity);
}
INSTANTIATE_TEST_SUITE_P(Conditions, SeverityTest,
                         ::testing::Values(SeverityCase{10, 2}, SeverityCase{100, 2}, SeverityCase{1000, 2},
                                           SeverityCase{20, 1}, SeverityCase{140, 1}, SeverityCase{30, 0},
                                           SeverityCase{0, 0}, SeverityCase{999, 0}));

}  // namespace
