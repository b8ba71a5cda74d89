// Jobs in one process. Job after job: a fixed sequence of mixed jobs (coded, failing in the job
// file or in the picture, cancelled, through both entry points, with every option) gives, job by
// job, the stream, error text, result and status that the same job gives alone in a fresh process,
// and leaves nothing allocated or open behind it. The coded jobs also follow the stream path
// rules: the stem ends at the first ".tp"; a name without ".tp" is kept whole; PictorForDA may
// name the stream's path. (A stem inside a folder name is the command's test of a job in any
// folder.)
//
// The one record a job hands to the next is the extended rule's last estimate quantiser. The
// sequence carries it (a small picture at the largest target searches every estimate quantiser)
// into later extended jobs, and each lone run starts with the value the sequence carried into
// that job.
//
// A Pictor job that waits for the one before shows itself as running with nothing done, and its
// caller may cancel it there. (Jobs on many threads at once are side_by_side_test's.)
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "api/api_jobs.h"
#include "api/job_gate.h"
#include "control/threshold_search.h"
#include "pictor/pictor.h"

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
    const std::string wide = "FRMRT NTSC\nASPECT_RATIO 16:9\nPAN_SCAN ON\nPAN_SCAN_VECTOR -320\n";
    const JobOptions ext{1}, still{0, 1}, wideClip{0, 0, 1}, full{0, 0, 2};
    return {
        {"Coded", kPictor, "a.tpx.tp", JobText("p96.tif", 200000, kNtsc), {}, "a.ts"},
        {"EmptyJobFile", kPictor, "b.tp", "", {}, "b.ts"},
        // Noise too costly for the finest matrix: the search never lowers its estimate quantiser.
        {"ExtendedNoise", kPictor, "c.tp", JobText("n176.tif", 160000, kPal), ext, "c.ts"},
        {"MissingPicture", kPictor, "d.tp", JobText("gone.tif", 200000, kNtsc), {}, "d.ts"},
        {"NotTiff", kPictor, "e.tp", JobText("text.tif", 200000, kNtsc), {}, "e.ts"},
        {"StripCut", kPictor, "h.tp", JobText("cut.tif", 200000, kNtsc), {}, "h.ts"},
        {"Cancelled", kPictor, "k.tp", JobText("p96.tif", 200000, kNtsc), {0, 0, 0, 1}, "k.ts"},
        {"StandardMismatch", kPictor, "l.tp", JobText("p96.tif", 200000, kPal), {}, "l.ts"},
        {"PathTooLong", kPictor, tooLong, JobText("p96.tif", 200000, kNtsc), {}, "n.ts"},
        {"NoJobFile", kForDA, "o.tp", "-", {}, "o.ts"},
        {"NameWithoutTp", kForDA, "r", JobText("p96.tif", 160000, kNtsc), {}, "r.ts"},
        // From here on a value is carried.
        {"ExtendedCarries", kPictor, "f.tp", JobText("p96.tif", 1800000, kNtsc), ext, "f.ts"},
        {"PanScanWideClip", kPictor, "g.tp", JobText("p704.tif", 900000, wide), wideClip, "g.ts"},
        {"ExtendedAfterCarry", kPictor, "i.tp", JobText("p176.tif", 300000, kPal), ext, "i.ts"},
        {"ProgressiveStill", kPictor, "j.tp", JobText("p352.tif", 100000, kPal), still, "j.ts"},
        {"FullRange", kPictor, "m.tp", JobText("p352.tif", 500000, kPal), full, "m.ts"},
        {"ExplicitStream", kForDAPath, "p.tp", JobText("p96.tif", 900000, kNtsc), ext, "p.m2v"},
        {"CodedAgain", kPictor, "a.tpx.tp", JobText("p96.tif", 200000, kNtsc), {}, "a.ts"},
    };
}

// The pictures and job files of the sequence in `dir`.
void Prepare(const std::string& dir, const std::vector<SequenceJob>& jobs) {
    std::filesystem::create_directories(dir);
    WriteStillPicture(dir, "p96.tif", 96, 64);
    WriteStillPicture(dir, "p176.tif", 176, 144);
    WriteStillPicture(dir, "p352.tif", 352, 288);
    WriteStillPicture(dir, "p704.tif", 704, 480);
    WriteNoisePicture(dir, "n176.tif", 176, 144, 7);
    WriteFailingPictures(dir);
    for (const SequenceJob& job : jobs)
        if (job.text != "-") WriteFileText(dir + "/" + job.jobName, job.text);
}

// What a job gave: its result and error text, the last estimate quantiser when it started, the
// blocks, files and descriptors it left behind, and its stream.
struct Record {
    JobOutcome out;
    int carriedIn = -1;
    long leftBehind = -1;
    std::vector<uint8_t> stream;
};

std::vector<uint8_t> TakeStream(const std::string& dir, const SequenceJob& job) {
    const std::vector<uint8_t> stream = ReadFileBytes(dir + "/" + job.stream);
    std::remove((dir + "/" + job.stream).c_str());
    return stream;
}

// The job run in a child process, recorded in `path` for its parent.
void RunAndRecord(const std::string& dir, const SequenceJob& job, const std::string& path) {
    const long descriptors = OpenDescriptors();
    const int carriedIn = tCarriedSearch->lastEstimateQ;
    const JobOutcome out = RunEntry(job.entry, dir, job.jobName, job.stream, job.options);
    const long leftBehind =
        TrackedBlocks() + tFileRegistry->count + OpenDescriptors() - descriptors;
    std::ofstream(path, std::ios::binary)
        << out.result << ' ' << carriedIn << ' ' << leftBehind << '\n'
        << out.errorText;
    WriteFileBytes(path + ".stream", TakeStream(dir, job));
}

Record ReadRecord(const std::string& path) {
    Record r;
    const std::string text = ReadFileText(path);
    std::istringstream(text) >> r.out.result >> r.carriedIn >> r.leftBehind;
    r.out.errorText = text.substr(text.find('\n') + 1);
    r.stream = ReadFileBytes(path + ".stream");
    return r;
}

class JobsInOneProcess : public LibraryTest {};

// The sequence and every job alone run in children, each from the state of a fresh process.
TEST_F(JobsInOneProcess, EachGivesWhatItGivesAloneInSequence) {
    const std::vector<SequenceJob> jobs = Sequence();
    Prepare(dir_.path, jobs);
    std::filesystem::create_directories(dir_ / "records");
    auto path = [&](const std::string& run, size_t k) {
        return dir_ / "records/" + run + std::to_string(k);
    };
    InChild([&] {
        for (size_t k = 0; k < jobs.size(); ++k) RunAndRecord(dir_.path, jobs[k], path("seq", k));
    });
    bool carried = false;
    for (size_t k = 0; k < jobs.size(); ++k) {
        const Record inSequence = ReadRecord(path("seq", k));
        carried = carried || (inSequence.carriedIn != 0 && jobs[k].options.extendedAnalysis);
        InChild([&] {
            tCarriedSearch->lastEstimateQ = inSequence.carriedIn;
            RunAndRecord(dir_.path, jobs[k], path("alone", k));
        });
        const Record alone = ReadRecord(path("alone", k));
        SCOPED_TRACE(jobs[k].name);
        EXPECT_EQ(inSequence.out.result, alone.out.result);
        EXPECT_EQ(inSequence.out.errorText, alone.out.errorText);
        EXPECT_TRUE(inSequence.stream == alone.stream);
        EXPECT_EQ(inSequence.stream.empty(), inSequence.out.result != 0);
        EXPECT_EQ(inSequence.leftBehind, 0);
    }
    EXPECT_TRUE(carried) << "no extended job started with a carried estimate quantiser";
    ExpectReleased();
}

// A Pictor job waits while the gate is held, as by a running job, shown as running with nothing
// done; cancelled there, it ends without starting.
TEST_F(JobsInOneProcess, AJobWaitingAtTheGateShowsNothingDoneAndMayBeCancelled) {
    WriteStillPicture(dir_.path, "p96.tif", 96, 64);
    WriteFileText(dir_ / "c.tp", JobText("p96.tif", 200000, kNtsc));
    ASSERT_TRUE(EnterJobGate(nullptr));
    auto context = std::make_unique<JobContext>();
    char errorText[1024];
    std::memset(errorText, 'x', sizeof errorText);
    context->errorText = errorText;
    std::snprintf(context->workDir, sizeof context->workDir, "%s", dir_.path.c_str());
    std::snprintf(context->jobFileName, sizeof context->jobFileName, "c.tp");
    std::snprintf(context->streamPath, sizeof context->streamPath, "left over");
    std::atomic<int> result{-99};
    std::thread waiting([&] { result.store(Pictor(context.get())); });
    // Status 2 is set before the job waits.
    while (__atomic_load_n(&context->status, __ATOMIC_ACQUIRE) != PICTOR_RUNNING)
        std::this_thread::yield();
    EXPECT_EQ(__atomic_load_n(&context->progress, __ATOMIC_RELAXED), 0);
    EXPECT_STREQ(errorText, "");
    __atomic_store_n(&context->cancel, 1, __ATOMIC_RELAXED);
    waiting.join();  // a cancelled job leaves the queue without the gate
    LeaveJobGate();
    EXPECT_EQ(result.load(), PICTOR_CANCELLED);
    EXPECT_EQ(context->status, PICTOR_CANCELLED);
    EXPECT_EQ(context->progress, 100);
    EXPECT_EQ(context->streamPath[0], '\0');
    EXPECT_FALSE(FileExists(dir_ / "c.ts"));
    EXPECT_EQ(context->cancel, 1);  // the library never writes it
    ExpectReleased();
}

}  // namespace
