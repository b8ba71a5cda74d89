// The pictor command's arguments, and whole jobs through both subcommands.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "cli/cli_support.h"
#include "support/job_runner.h"

namespace {

const std::string kEncode = kEncodeSettings;

// Run in a CliFolder that also holds old.m2v. status: 0 done, 1 the job failed,
// 64 a usage error; out, err: text that standard output and standard error
// contain (empty: nothing at all); made: the names the call leaves in the
// folder, the first of them a 96x64 stream when `stream` is set.
struct CommandCase {
    const char* name;
    std::string args;
    int status;
    std::string out, err;
    std::string made;
    bool stream;
};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

const CommandCase kCommandCases[] = {
    {"Help", "--help", 0, "pictor encode", "", "", false},
    {"HelpOfASubcommand", "encode --help", 0, "Usage: pictor run", "", "", false},
    {"Version", "--version", 0, "pictor ", "", "", false},
    {"NoArguments", "", 64, "", "Usage: pictor run", "", false},
    {"UnknownCommand", "frobnicate", 64, "", "unknown command 'frobnicate'", "", false},
    {"OptionOfTheOtherCommand", "run good.tp --target 5", 64, "", "run: unknown option '--target'",
     "", false},
    {"MissingValue", "encode still/pic.tif -o x.m2v --target", 64, "", "--target needs a value", "",
     false},
    {"BadValue", "encode x.tif -o o.m2v --target 1.2M", 64, "", "--target takes a number of bits",
     "", false},
    {"OneStreamPathForTwoJobs", "run good.tp gone.tp --stream x.m2v", 64, "",
     "--stream takes one job parameter file", "", false},
    {"TwoJobsToOneStream", "run good.tp ./good.tp", 64, "", "two jobs would write ./good.ts", "",
     false},
    {"StreamAndJsonOnStandardOutput", "run good.tp --stream - --json -", 64, "",
     "standard output cannot carry both", "", false},
    {"EncodeWithoutOutput", "encode still/pic.tif" + kEncode, 64, "", "encode needs -o OUT", "",
     false},
    {"PreviewOverTheStream", "encode still/pic.tif -o p.m2v --preview ./p.m2v" + kEncode, 64, "",
     "--preview ./p.m2v is where the stream goes", "", false},
    {"PreviewForABatch", "run good.tp gone.tp --preview p.png", 64, "", "--preview takes one input",
     "", false},
    {"PreviewOverTheInput", "encode still/pic.tif -o p.m2v --preview still/pic.tif" + kEncode, 1,
     "", "--preview: will not write over the input picture", "", false},
    {"PreviewKeptByNoClobber", "run good.tp -n --preview old.m2v", 1, "",
     "old.m2v exists and --no-clobber keeps it", "", false},
    {"JsonNotOverAnInput", "run good.tp -q --json good.tp", 1, "", "will not write over an input",
     "", false},
    {"AttachedValues",
     "encode still/pic.tif -onew.m2v --target=200000 --standard=NTSC --aspect=4:3", 0,
     "wrote new.m2v", "100%", "new.m2v", true},
    {"OptionsEndAtDoubleDash", "encode -q -o new.m2v" + kEncode + " -- still/pic.tif", 0, "", "",
     "new.m2v", true},
    {"RunWritesBesideTheJobFile", "run good.tp", 0, "wrote good.ts", "100%", "good.ts", true},
    // Messages name the job's own folder, not pictor's private one.
    {"RunToAStreamPathFailing", "run gone.tp -q --stream=out2.m2v", 1, "",
     ErrorLine(13, "Cannot open TIFF source file <./still/gone.tif>"), "", false},
};

class CommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandTest, ExitsAndSaysAsExpected) {
    const CommandCase& c = GetParam();
    CliFolder folder;
    folder.Add("old.m2v", "earlier stream");
    const CliResult r = folder.Run(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(c.out.empty() ? r.out.empty() : r.out.find(c.out) != std::string::npos) << r.out;
    EXPECT_TRUE(c.err.empty() ? r.err.empty() : r.err.find(c.err) != std::string::npos) << r.err;
    EXPECT_EQ(folder.Text("old.m2v"), "earlier stream");
    EXPECT_EQ(folder.NewNames(), c.made);
    EXPECT_TRUE(folder.TmpIsEmpty());  // pictor cleans up its temporary folder
    if (c.stream) {
        EXPECT_EQ(folder.StreamProblems(c.made.substr(0, c.made.find(' '))), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandTest, ::testing::ValuesIn(kCommandCases),
                         [](const ::testing::TestParamInfo<CommandCase>& info) {
                             return info.param.name;
                         });

// The command's jobs run in the shared library, not in a static copy of it.
TEST(CommandBuild, JobsRunInTheSharedLibrary) {
    std::string symbols;
    ASSERT_EQ(RunCommand("nm -D --undefined-only '" PICTOR_CLI_PATH "' 2>&1", &symbols), 0);
    EXPECT_NE(symbols.find(" U Pictor\n"), std::string::npos) << symbols;
}

}  // namespace
