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
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "api/api_jobs.h"
#include "control/threshold_search.h"
#include "support/tiff_writer.h"

namespace {

// A job file of `text` ("-": none at all) named `jobName`, and where a coded job's stream lands.
struct SequenceJob {
    const char* name;
    Entry entry;
    std::string jobName, text;
    JobOptions options;
    std::string stream;
};

const Entry kPictor = Entry::kPictor, kForDA = Entry::kForDA, kForDAPath = Entry::kForDAPath;

std::vector<SequenceJob> Sequence() {
    const std::string tooLong = std::string(250, 'n') + ".tp";
    const std::string kPanScan =
        "FRMRT NTSC\nASPECT_RATIO 16:9\nPAN_SCAN ON\nPAN_SCAN_VECTOR -320\n";
    return {
        {"Coded", kPictor, "a.tpx.tp", JobText("p96.tif", 200000, kNtsc), {}, "a.ts"},
        {"EmptyJobFile", kPictor, "b.tp", "", {}, "b.ts"},
        {"ExtendedCarries", kPictor, "c.tp", JobText("p96.tif", 1800000, kNtsc), {1}, "c.ts"},
        {"MissingPicture", kPictor, "d.tp", JobText("gone.tif", 200000, kNtsc), {}, "d.ts"},
        {"NotTiff", kPictor, "e.tp", JobText("text.tif", 200000, kNtsc), {}, "e.ts"},
        {"ExtendedAfterCarry", kPictor, "f.tp", JobText("p176.tif", 300000, kPal), {1}, "f.ts"},
        {"PanScanWideClip",
         kPictor,
         "g.tp",
         JobText("p704.tif", 900000, kPanScan),
         {0, 0, 1},
         "g.ts"},
        {"StripCut", kPictor, "h.tp", JobText("cut.tif", 200000, kNtsc), {}, "h.ts"},
        {"ProgressiveStill", kPictor, "j.tp", JobText("p352.tif", 100000, kPal), {0, 1}, "j.ts"},
        {"Cancelled", kPictor, "k.tp", JobText("p96.tif", 200000, kNtsc), {0, 0, 0, 1}, "k.ts"},
        {"StandardMismatch", kPictor, "l.tp", JobText("p96.tif", 200000, kPal), {}, "l.ts"},
        {"FullRange", kPictor, "m.tp", JobText("p352.tif", 500000, kPal), {0, 0, 2}, "m.ts"},
        {"PathTooLong", kPictor, tooLong, JobText("p96.tif", 200000, kNtsc), {}, "n.ts"},
        {"NoJobFile", kForDA, "o.tp", "-", {}, "o.ts"},
        {"StemInAFolderName", kForDA, "q.tpl/b.tp", JobText("p96.tif", 160000, kNtsc), {}, "q.ts"},
        {"NameWithoutTp", kForDA, "r", JobText("p96.tif", 160000, kNtsc), {}, "r.ts"},
        {"ExplicitStream", kForDAPath, "p.tp", JobText("p96.tif", 900000, kNtsc), {1}, "p.m2v"},
        {"CodedAgain", kPictor, "a.tpx.tp", JobText("p96.tif", 200000, kNtsc), {}, "a.ts"},
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
}

// What a job gave, as a child process records it: result, the last estimate quantiser when it
// started, the blocks, files and descriptors it left behind, status and progress; then its error
// text. The stream lies beside the record.
struct Record {
    std::string text;
    int result = -99, carriedIn = -1, leftBehind = -1;
    std::vector<uint8_t> stream;
};

std::string RecordPath(const std::string& dir, const std::string& run, size_t k) {
    return dir + "/records/" + run + std::to_string(k);
}

void RunAndRecord(const std::string& dir, const SequenceJob& job, const std::string& path) {
    const int32_t carriedIn = gCarriedSearch.lastEstimateQ;
    const long descriptors = OpenDescriptors();
    const JobOutcome out = RunEntry(job.entry, dir, job.jobName, job.stream, job.options);
    const long leftBehind = TrackedBlocks() + gFileRegistry.count + OpenDescriptors() - descriptors;
    std::ofstream(path, std::ios::binary) << out.result << ' ' << carriedIn << ' ' << leftBehind
                                          << ' ' << out.status << ' ' << out.progress << '\n'
                                          << out.errorText;
    WriteFileBytes(path + ".stream", ReadFileBytes(dir + "/" + job.stream));
    std::remove((dir + "/" + job.stream).c_str());
}

Record ReadRecord(const std::string& path) {
    Record r;
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    r.text.assign(bytes.begin(), bytes.end());
    std::istringstream(r.text) >> r.result >> r.carriedIn >> r.leftBehind;
    r.stream = ReadFileBytes(path + ".stream");
    return r;
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
        EXPECT_EQ(inSequence.text, alone.text);
        EXPECT_TRUE(inSequence.stream == alone.stream);
        EXPECT_EQ(inSequence.stream.empty(), inSequence.result != 0);
        EXPECT_EQ(inSequence.leftBehind, 0);
    }
    EXPECT_TRUE(carried) << "no extended job started with a carried estimate quantiser";
}

}  // namespace
