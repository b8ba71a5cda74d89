// Job after job in one process: a fixed sequence of mixed jobs (coded, failing in the job file or
// in the picture, cancelled, through both entry points, with every option) gives, job by job,
// the stream, error text, result and status that the same job gives alone in a fresh process,
// and leaves nothing allocated or open behind it. The coded jobs also follow the stream path
// rules: the stem ends at the first ".tp", also inside a folder name; a name without ".tp" is
// kept whole; PictorForDA may name the stream's path.
//
// The one record a job hands to the next is the extended rule's last estimate quantiser. The
// sequence is chosen so that it is carried (a small picture at the largest target searches
// every estimate quantiser) into later extended jobs, and it is accounted for explicitly: each
// lone run starts with the value the sequence carried into that job.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "api/registry.h"
#include "control/threshold_search.h"
#include "support/files.h"
#include "support/job_runner.h"
#include "support/tiff_writer.h"

namespace {

const std::string kNtsc = "FRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";
const std::string kPal = "FRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";

// A job file of `text` ("-": none at all) named `jobName`, and where a coded job's stream lands.
struct SequenceJob {
    const char* name;
    Entry entry;
    std::string jobName, text;
    JobOptions options;
    std::string stream;
};

std::string Job(const std::string& picture, int target, const std::string& frame) {
    return "SOURCE_FILE " + picture + "\nTARGET_SIZE " + std::to_string(target) + "\n" + frame;
}

const Entry kPictor = Entry::kPictor, kForDA = Entry::kForDA, kForDAPath = Entry::kForDAPath;

std::vector<SequenceJob> Sequence() {
    const std::string tooLong = std::string(250, 'n') + ".tp";
    const std::string kPanScan =
        "FRMRT NTSC\nASPECT_RATIO 16:9\nPAN_SCAN ON\nPAN_SCAN_VECTOR -320\n";
    return {
        {"Coded", kPictor, "a.tpx.tp", Job("p96.tif", 200000, kNtsc), {}, "a.ts"},
        {"EmptyJobFile", kPictor, "b.tp", "", {}, "b.ts"},
        {"ExtendedCarries", kPictor, "c.tp", Job("p96.tif", 1800000, kNtsc), {1}, "c.ts"},
        {"MissingPicture", kPictor, "d.tp", Job("gone.tif", 200000, kNtsc), {}, "d.ts"},
        {"NotTiff", kPictor, "e.tp", Job("text.tif", 200000, kNtsc), {}, "e.ts"},
        {"ExtendedAfterCarry", kPictor, "f.tp", Job("p176.tif", 300000, kPal), {1}, "f.ts"},
        {"PanScanWideClip", kPictor, "g.tp", Job("p704.tif", 900000, kPanScan), {0, 0, 1}, "g.ts"},
        {"StripCut", kPictor, "h.tp", Job("cut.tif", 200000, kNtsc), {}, "h.ts"},
        {"Lzw", kPictor, "i.tp", Job("lzw.tif", 200000, kNtsc), {}, "i.ts"},
        {"ProgressiveStill", kPictor, "j.tp", Job("p352.tif", 100000, kPal), {0, 1}, "j.ts"},
        {"Cancelled", kPictor, "k.tp", Job("p96.tif", 200000, kNtsc), {0, 0, 0, 1}, "k.ts"},
        {"StandardMismatch", kPictor, "l.tp", Job("p96.tif", 200000, kPal), {}, "l.ts"},
        {"FullRange", kPictor, "m.tp", Job("p352.tif", 500000, kPal), {0, 0, 2}, "m.ts"},
        {"PathTooLong", kPictor, tooLong, Job("p96.tif", 200000, kNtsc), {}, "n.ts"},
        {"NoJobFile", kForDA, "o.tp", "-", {}, "o.ts"},
        {"StemInAFolderName", kForDA, "q.tpl/b.tp", Job("p96.tif", 160000, kNtsc), {}, "q.ts"},
        {"NameWithoutTp", kForDA, "r", Job("p96.tif", 160000, kNtsc), {}, "r.ts"},
        {"ExplicitStream", kForDAPath, "p.tp", Job("p96.tif", 900000, kNtsc), {1}, "p.m2v"},
        {"CodedAgain", kPictor, "a.tpx.tp", Job("p96.tif", 200000, kNtsc), {}, "a.ts"},
    };
}

void WritePictures(const std::string& dir) {
    WriteStillPicture(dir, "p96.tif", 96, 64);
    WriteStillPicture(dir, "p176.tif", 176, 144);
    WriteStillPicture(dir, "p352.tif", 352, 288);
    WriteStillPicture(dir, "p704.tif", 704, 480);
    WriteFileText(dir + "/still/text.tif", "not a picture\n");
    // A strip past the end of the file: the job fails with the planes allocated and the source
    // open.
    TiffFile cut = RgbTiffLayout(96, 64, TestPatternRgb(96, 64), TiffOptions{});
    for (TiffEntry& e : cut.entries) e = e.tag == 279 ? Long(279, {0xFFFFFFF0u}) : e;
    WriteFileBytes(dir + "/still/cut.tif", WriteTiffFile(cut));
    TiffFile lzw = RgbTiffLayout(96, 64, TestPatternRgb(96, 64), TiffOptions{});
    lzw.entries.push_back(Short(259, {5}));
    WriteFileBytes(dir + "/still/lzw.tif", WriteTiffFile(lzw));
}

// What a job gave, as a child process records it for the test.
struct Record {
    JobOutcome outcome;
    std::vector<uint8_t> stream;
    int32_t carriedIn = -1;  // the last estimate quantiser when the job started
    int leftBehind = -1;     // blocks, files and descriptors the job left behind
};

std::string RecordPath(const std::string& dir, const std::string& run, size_t k) {
    return dir + "/records/" + run + std::to_string(k);
}

void RunAndRecord(const std::string& dir, const SequenceJob& job, const std::string& path) {
    Record r;
    r.carriedIn = gCarriedSearch.lastEstimateQ;
    const long descriptors = OpenDescriptors();
    r.outcome = RunEntry(job.entry, dir, job.jobName, job.stream, job.options);
    r.leftBehind = TrackedBlocks() + gFileRegistry.count + int(OpenDescriptors() - descriptors);
    std::ofstream out(path, std::ios::binary);
    out << r.outcome.result << ' ' << r.outcome.status << ' ' << r.outcome.progress << ' '
        << r.carriedIn << ' ' << r.leftBehind << '\n'
        << r.outcome.errorText;
    const std::vector<uint8_t> stream = ReadFileBytes(dir + "/" + job.stream);
    WriteFileBytes(path + ".stream", stream);
    std::remove((dir + "/" + job.stream).c_str());
}

Record ReadRecord(const std::string& path) {
    Record r;
    std::ifstream in(path, std::ios::binary);
    in >> r.outcome.result >> r.outcome.status >> r.outcome.progress >> r.carriedIn >> r.leftBehind;
    in.get();
    std::stringstream text;
    text << in.rdbuf();
    r.outcome.errorText = text.str();
    r.stream = ReadFileBytes(path + ".stream");
    return r;
}

// Runs `body` in a child process, which ends without running anything of its parent's.
void InChild(const std::function<void()>& body) {
    std::fflush(nullptr);  // what the child prints must not repeat the parent's buffered output
    const pid_t child = fork();
    if (child == 0) {
        body();
        _exit(0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(JobSequence, EachJobGivesWhatItGivesAlone) {
    TempDir dir;
    WritePictures(dir.path);
    std::filesystem::create_directories(dir / "records");
    std::filesystem::create_directories(dir / "q.tpl");
    const std::vector<SequenceJob> jobs = Sequence();
    for (const SequenceJob& job : jobs)
        if (job.text != "-") WriteFileText(dir / job.jobName, job.text);

    // The whole sequence in one child, and each job in a child of its own: this process runs
    // no job, so every child starts from the same state.
    InChild([&] {
        for (size_t k = 0; k < jobs.size(); ++k)
            RunAndRecord(dir.path, jobs[k], RecordPath(dir.path, "sequence", k));
    });
    bool carried = false;
    for (size_t k = 0; k < jobs.size(); ++k) {
        const Record inSequence = ReadRecord(RecordPath(dir.path, "sequence", k));
        carried = carried || (inSequence.carriedIn != 0 && jobs[k].options.extendedAnalysis);
        InChild([&] {
            gCarriedSearch.lastEstimateQ = inSequence.carriedIn;
            RunAndRecord(dir.path, jobs[k], RecordPath(dir.path, "alone", k));
        });
        const Record alone = ReadRecord(RecordPath(dir.path, "alone", k));
        SCOPED_TRACE(jobs[k].name);
        EXPECT_EQ(inSequence.outcome.result, alone.outcome.result);
        EXPECT_EQ(inSequence.outcome.status, alone.outcome.status);
        EXPECT_EQ(inSequence.outcome.progress, alone.outcome.progress);
        EXPECT_EQ(inSequence.outcome.errorText, alone.outcome.errorText);
        EXPECT_TRUE(inSequence.stream == alone.stream);
        EXPECT_EQ(inSequence.stream.empty(), inSequence.outcome.result != 0);
        EXPECT_EQ(inSequence.leftBehind, 0);
    }
    EXPECT_TRUE(carried) << "no extended job started with a carried estimate quantiser";
}

}  // namespace
