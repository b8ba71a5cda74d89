// Where the command puts a finished stream: never over anything it must not
// replace, never partial, links followed, pipes and devices written through.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <ostream>
#include <string>

#include "cli/cli_support.h"
#include "support/job_runner.h"

namespace {

const char kOld[] = "earlier stream";

// Files a case finds in its CliFolder besides the usual ones.
void Nothing(CliFolder&) {}
void OldFile(CliFolder& f) { f.Add("old.m2v", kOld); }
void LinkToOld(CliFolder& f) {
    OldFile(f);
    ASSERT_EQ(symlink("old.m2v", (f.dir / "link.m2v").c_str()), 0);
}
void DanglingLink(CliFolder& f) { ASSERT_EQ(symlink("made.m2v", (f.dir / "link.m2v").c_str()), 0); }
void LinkToPicture(CliFolder& f) {
    ASSERT_EQ(symlink("still/pic.tif", (f.dir / "link.m2v").c_str()), 0);
}
void Folder(CliFolder& f) { ASSERT_EQ(mkdir((f.dir / "somedir").c_str(), 0755), 0); }
void Fifo(CliFolder& f) { ASSERT_EQ(mkfifo((f.dir / "pipe.fifo").c_str(), 0644), 0); }
// A 720x576 job whose stream (about 225,000 bytes) outgrows a pipe's buffer.
void BigJob(CliFolder& f) {
    f.AddPicture(".", "big.tif", 720, 576);
    f.Add("big.tp",
          "SOURCE_FILE big.tif\nTARGET_SIZE 1800000\nFRMRT PAL\nASPECT_RATIO 4:3\n"
          "PAN_SCAN OFF\n");
    OldFile(f);
    Fifo(f);
}
void FolderNamedLikeAJobFile(CliFolder& f) {
    f.AddPicture("disc.tpl", "pic.tif", 96, 64);
    f.Add("disc.tpl/menu.tp", std::string("SOURCE_FILE pic.tif\n") + kJobSettings);
}

// status: exit status; err: what standard error says (empty: anything); made: the
// names the call leaves (new ones, sorted); stream: the file holding a 96x64
// stream after the call; keeps: a file that must still hold kOld; early: refused
// before coding (no progress shown).
struct OutputCase {
    const char* name;
    void (*setup)(CliFolder&);
    std::string args, before, after;
    int status;
    std::string err, made;
    const char* stream;
    const char* keeps;
    bool early;
};

void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.name; }

const std::string kSettings = kEncodeSettings;
const std::string kReader = "cat pipe.fifo > got.m2v & ";
const std::string kWaitReader = "; s=$?; wait; exit $s";

const OutputCase kOutputCases[] = {
    {"ReplacesAFile", OldFile, "run good.tp --stream old.m2v", "", "", 0, "", "", "old.m2v",
     nullptr, false},
    {"FollowsALink", LinkToOld, "run good.tp --stream link.m2v", "", "", 0, "", "link.m2v",
     "old.m2v", nullptr, false},
    {"FollowsADanglingLink", DanglingLink, "run good.tp --stream link.m2v", "", "", 0, "",
     "link.m2v made.m2v", "made.m2v", nullptr, false},
    {"WritesBesideItsJobFileInAnyFolder", FolderNamedLikeAJobFile, "run disc.tpl/menu.tp", "", "",
     0, "", "disc.tpl/menu.ts", "disc.tpl/menu.ts", nullptr, false},
    {"StandardOutput", Nothing, "run good.tp --stream - > got.m2v", "", "", 0,
     "wrote standard output", "got.m2v", "got.m2v", nullptr, false},
    {"NamedPipe", Fifo, "run good.tp --stream pipe.fifo", kReader, kWaitReader, 0, "",
     "got.m2v pipe.fifo", "got.m2v", nullptr, false},
    {"NoClobberWritesANewFile", OldFile, "run good.tp -n --stream new.m2v", "", "", 0, "",
     "new.m2v", "new.m2v", "old.m2v", false},
    {"NoClobberKeepsAFile", OldFile, "run good.tp --no-clobber --stream old.m2v", "", "", 1,
     "old.m2v exists and --no-clobber keeps it", "", nullptr, "old.m2v", true},
    {"NotOverTheJobFile", Nothing, "run good.tp --stream good.tp", "", "", 1,
     "will not write over the job parameter file", "", nullptr, nullptr, true},
    {"NotOverThePictureThroughALink", LinkToPicture, "encode still/pic.tif -o link.m2v" + kSettings,
     "", "", 1, "will not write over the input picture", "link.m2v", nullptr, nullptr, true},
    {"NotIntoAMissingFolder", Nothing, "run good.tp --stream nodir/x.m2v", "", "", 1,
     "cannot write nodir/x.m2v: the folder nodir is missing", "", nullptr, nullptr, true},
    {"NotOverAFolder", Folder, "encode still/pic.tif -o somedir" + kSettings, "", "", 1,
     "cannot write somedir: it is a folder", "somedir", nullptr, nullptr, true},
    // The reader takes 100 bytes and leaves; the rest cannot be written.
    {"PipeReaderLeavesEarly", BigJob, "run big.tp --stream pipe.fifo",
     "head -c 100 pipe.fifo > got.bin & ", kWaitReader, 1, "cannot write pipe.fifo: Broken pipe",
     "got.bin pipe.fifo", nullptr, "old.m2v", false},
    // A file size limit cuts the library's stream short: the stream is refused
    // and the destination keeps what it held.
    {"WriteFailure", BigJob, "run big.tp --stream old.m2v", "ulimit -f 64; ", "", 1,
     "the stream came out incomplete", "pipe.fifo", nullptr, "old.m2v", false},
};

class OutputTest : public ::testing::TestWithParam<OutputCase> {};

TEST_P(OutputTest, DeliversOrKeeps) {
    const OutputCase& c = GetParam();
    CliFolder folder;
    c.setup(folder);
    if (::testing::Test::HasFatalFailure()) return;
    const std::string pictureBefore = folder.Text("still/pic.tif");
    const CliResult r = folder.Run(c.args, c.before, c.after);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    if (c.early) {
        EXPECT_EQ(r.err.find("%"), std::string::npos) << r.err;
    }
    EXPECT_EQ(folder.NewNames(), c.made);
    EXPECT_EQ(folder.Text("still/pic.tif"), pictureBefore);
    EXPECT_TRUE(folder.TmpIsEmpty());
    if (c.stream != nullptr) {
        EXPECT_EQ(folder.StreamProblems(c.stream), "");
    }
    if (c.keeps != nullptr) {
        EXPECT_EQ(folder.Text(c.keeps), kOld);
    }
    struct stat st;
    if (lstat((folder.dir / "link.m2v").c_str(), &st) == 0) {
        EXPECT_TRUE(S_ISLNK(st.st_mode));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputTest, ::testing::ValuesIn(kOutputCases),
                         [](const ::testing::TestParamInfo<OutputCase>& info) {
                             return info.param.name;
                         });

// A character device is written straight through, never replaced by a file.
// The node is made in the test's own folder (a null device); without the
// right to make nodes, or where the folder's file system refuses devices, the
// case is skipped.
TEST(OutputDeviceTest, WritesThroughACharacterDevice) {
    CliFolder folder;
    const std::string node = folder.dir / "null.dev";
    if (mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "cannot make a device node here";
    if (RunCommand("printf x > '" + node + "'") != 0) GTEST_SKIP() << "devices refused here";
    const CliResult r = folder.Run("run good.tp -q --stream null.dev");
    EXPECT_EQ(r.status, 0) << r.err;
    struct stat st;
    ASSERT_EQ(lstat(node.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(folder.NewNames(), "null.dev");
}

}  // namespace
