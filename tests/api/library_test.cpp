// The shared library as a host sees it: its exports and limits, whole jobs to streams that real
// decoders play, jobs stopped from another thread, and job after job in one process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "api/job.h"
#include "api/registry.h"
#include "messages/report.h"
#include "pictor/pictor.h"
#include "support/decoders.h"
#include "support/files.h"
#include "support/job_runner.h"
#include "support/state.h"
#include "support/tiff_writer.h"

namespace {

const std::string kPal = "FRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";
const std::string kNtsc = "FRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";
const std::string kPalWide = "FRMRT PAL\nASPECT_RATIO 16:9\n";

// BT.601 luma; the test pattern stays clear of every clip level.
std::vector<uint8_t> VideoLuma(const std::vector<uint8_t>& rgb, bool fullRange) {
    std::vector<uint8_t> luma(rgb.size() / 3);
    for (size_t i = 0; i < luma.size(); ++i) {
        const double y = 0.299 * rgb[3 * i] + 0.587 * rgb[3 * i + 1] + 0.114 * rgb[3 * i + 2];
        luma[i] = static_cast<uint8_t>((fullRange ? y : 16.0 + y * 219.0 / 255.0) + 0.5);
    }
    return luma;
}

long ResidentKilobytes() {
    long pages = 0, resident = 0;
    FILE* in = std::fopen("/proc/self/statm", "r");
    if (in == nullptr || std::fscanf(in, "%ld %ld", &pages, &resident) != 2) resident = 0;
    if (in != nullptr) std::fclose(in);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long OpenDescriptors() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

// kForDAPath: the job file named by its whole path, the stream to an explicit path.
enum Entry { kPictor, kForDA, kForDAPath };

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        descriptors_ = OpenDescriptors();
    }
    void TearDown() override { ResetAllState(); }
    JobOutcome Run(Entry entry, const std::string& job, const std::string& stream,
                   JobOptions options = {}) {
        if (entry == kPictor) return RunPictor(dir_.path, job, options);
        const bool path = entry == kForDAPath;
        const int result =
            PictorForDA(dir_.path.c_str(), (path ? dir_ / job : job).c_str(),
                        path ? (dir_ / stream).c_str() : "", options.extendedAnalysis);
        return {result, result, 100,
                gLibraryContext.errorText};  // PictorForDA keeps its context inside the library
    }
    // However a job ends, its context says so and it releases everything it took.
    void ExpectEnded(const JobOutcome& out, int result) {
        EXPECT_EQ(out.result, result) << out.errorText;
        EXPECT_EQ(out.status, result);
        EXPECT_EQ(out.progress, 100);
        EXPECT_EQ(out.errorText.empty(), result != -1) << out.errorText;
        EXPECT_EQ(TrackedBlocks(), 0);
        EXPECT_EQ(gFileRegistry.count, 0);
        EXPECT_EQ(OpenDescriptors(), descriptors_);
    }
    TempDir dir_;
    long descriptors_ = 0;
};

TEST(Library, ExportsExactlyTheTwoEntryPoints) {
    std::string names;
    ASSERT_EQ(
        RunCommand("nm -D --defined-only '" PICTOR_LIBRARY_PATH "' | awk '{print $3}'", &names), 0);
    EXPECT_EQ(names, "Pictor\nPictorForDA\n");
    EXPECT_EQ(Pictor(nullptr), -1);
    EXPECT_EQ(PictorForDA(nullptr, nullptr, nullptr, 0), -1);
}

// One record past a table fails like any allocation (no line) or open (code 2), and writes nothing.
TEST_F(LibraryTest, RegistriesRefuseTheRecordPastTheirTables) {
    char text[1024] = {};
    BindErrorText(text, kModulePictor);
    EXPECT_EQ(TrackedAlloc(~uint64_t{0}, 2), nullptr);  // count x size overflows 64 bits
    for (int i = 1; i < kAllocRecords; ++i) ASSERT_NE(TrackedAlloc(1, 1), nullptr) << i;
    EXPECT_EQ(TrackedAlloc(1, 1), nullptr);
    EXPECT_EQ(gAllocRegistry.count, kAllocRecords);
    for (int i = 0; i < kFileRecords; ++i) ASSERT_NE(TrackedOpen("/dev/null", "rb"), nullptr) << i;
    FILE* extra = nullptr;
    EXPECT_EQ(OpenOrReport("/dev/null", "rb", &extra), -1);
    EXPECT_EQ(gFileRegistry.count, kFileRecords);
    EXPECT_EQ(std::string(text), ErrorLine(2, "Cannot open </dev/null> "));
    TrackedClose(
        gFileRegistry.records[10].stream);  // the gap it leaves must not hide the files after it
    FreeAllTracked();
    CloseAllTracked();
    EXPECT_EQ(TrackedBlocks(), 0);
    EXPECT_EQ(gFileRegistry.count, 0);
    EXPECT_EQ(OpenDescriptors(), descriptors_);
}

// Context fields that fill their width carry no terminating zero: nothing is read past them,
// the stale stream path is cleared, and the error text holds this job's line only.
TEST_F(LibraryTest, UnterminatedContextFieldsMakeAPathTooLong) {
    JobContext context;
    std::memset(&context, 's', sizeof context);
    char errorText[1024] = "left over from an earlier job\n";
    context.errorText = errorText;
    EXPECT_EQ(Pictor(&context), -1);
    EXPECT_EQ(std::string(errorText),
              ErrorLine(47, "Input file name is too long <" + std::string(263, 's') + ">"));
    EXPECT_EQ(std::count(context.streamPath, std::end(context.streamPath), '\0'),
              sizeof context.streamPath);
}

// code: of the first error line (0 for none); 2: there is no job file.
struct Kind {
    std::string jobName, text;
    int result, code;
    Entry entry;
};

// Job paths of up to 256 characters are accepted; every kind of ending releases all, job after job,
// and memory settles.
TEST_F(LibraryTest, JobAfterJobLeavesNothingBehind) {
    WriteStillPicture(dir_.path, "pic.tif", 96, 64);
    // A strip past the end of the file: the job fails with the planes allocated and the source
    // open.
    TiffFile cut = RgbTiffLayout(96, 64, TestPatternRgb(96, 64), TiffOptions{});
    for (TiffEntry& e : cut.entries) e = e.tag == 279 ? Long(279, {0xFFFFFFF0u}) : e;
    WriteFileBytes(dir_ / "still/cut.tif", WriteTiffFile(cut));
    WriteFileText(dir_ / "still/text.tif", "not a picture\n");
    const std::string good = "SOURCE_FILE pic.tif\nTARGET_SIZE 200000\n" + kNtsc;
    const std::string longest = std::string(256 - dir_.path.size() - 4, 'n') + ".tp",
                      tooLong = "n" + longest;
    const Kind kinds[] = {
        {longest, good, 0, 0, kPictor},
        {"empty.tp", "", -1, 35, kPictor},
        {"missing.tp", "SOURCE_FILE gone.tif\nTARGET_SIZE 200000\n" + kNtsc, -1, 13, kPictor},
        {"text.tp", "SOURCE_FILE text.tif\nTARGET_SIZE 200000\n" + kNtsc, -1, 19, kPictor},
        {"mismatch.tp", "SOURCE_FILE pic.tif\nTARGET_SIZE 200000\n" + kPal, -1, 44, kPictor},
        {"cut.tp", "SOURCE_FILE cut.tif\nTARGET_SIZE 200000\n" + kNtsc, -1, 18, kPictor},
        {"absent.tp", "", -1, 2, kPictor},
        {"absent.tp", "", -1, 2, kForDA},
        {tooLong, good, -1, 47, kPictor},
        {tooLong, good, -1, 47, kForDAPath},
        {"cancel.tp", good, 1, 0, kPictor},
    };
    for (const Kind& k : kinds)
        if (k.code != 2) WriteFileText(dir_ / k.jobName, k.text);
    [[maybe_unused]] long settled = 0;
    for (int round = 0; round < 91; ++round) {  // a thousand jobs and one
        if (round == 10) settled = ResidentKilobytes();
        for (const Kind& k : kinds) {
            JobOutcome out = Run(k.entry, k.jobName, "da.m2v", {0, 0, 0, k.result == 1});
            SCOPED_TRACE(k.jobName.substr(0, 12) + " through entry " + std::to_string(k.entry));
            ExpectEnded(out, k.result);
            if (k.code != 0) {
                EXPECT_EQ(out.errorText.rfind("Pictor error " + std::to_string(k.code) + ":", 0),
                          0u);
            }
        }
    }
#ifndef __SANITIZE_ADDRESS__  // the sanitizer keeps freed blocks in quarantine
    EXPECT_LE(ResidentKilobytes(), settled + 256) << "memory grows from job to job";
#endif
    const std::string stream = dir_ / (longest.substr(0, longest.size() - 3) + ".ts");
    EXPECT_EQ(DecoderProblems(DecodeStream(stream, 96, 64), 96, 64), "");
}

// Every picture size a job accepts codes to a stream that both decoders play.
TEST_F(LibraryTest, EveryAcceptedSizeDecodes) {
    for (int width : {720, 704, 352, 176, 96}) {
        for (int height : {576, 288, 144, 80, 480, 240, 112, 64}) {
            SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
            WriteStillPicture(dir_.path, "pic.tif", width, height);
            const bool pal = height % 9 == 0 || height == 80;
            WriteFileText(dir_ / "j.tp",
                          "SOURCE_FILE pic.tif\nTARGET_SIZE 400000\n" + (pal ? kPal : kNtsc));
            ExpectEnded(RunPictor(dir_.path, "j.tp"), 0);
            EXPECT_LE(ReadFileBytes(dir_ / "j.ts").size() * 8, 1800000u);
            DecoderVerdict verdict = DecodeStream(dir_ / "j.ts", width, height);
            ASSERT_EQ(DecoderProblems(verdict, width, height), "");
            const std::vector<uint8_t> luma = VideoLuma(TestPatternRgb(width, height), false);
            EXPECT_GT(Psnr(verdict.ffmpeg.y.data(), luma.data(), luma.size()), 40);
        }
    }
}

// frame: the job file after TARGET_SIZE; stream: where it must be, in the work folder; noise:
// instead of the test pattern. Level mode 1 (full range, wide clip) decodes at full range, mode 0
// at video levels.
struct StreamCase {
    const char* name;
    int width, height;
    std::string frame;
    int target;
    JobOptions options;
    Entry entry;
    const char *jobName, *stream;
    bool noise;
};

const StreamCase kStreamCases[] = {
    {"Pal720x576", 720, 576, kPal, 830000, {}, kPictor, "menu.tpx.tp", "menu.ts", false},
    {"Smallest96x64", 96, 64, kNtsc, 160000, {}, kForDA, "x.tpl/b.tp", "x.ts", false},
    {"PanScan",
     720,
     576,
     kPalWide + "PAN_SCAN ON\nPAN_SCAN_VECTOR -32\n",
     1200000,
     {},
     kForDA,
     "job",
     "job.ts",
     false},
    {"NtscWide",
     704,
     480,
     "FRMRT NTSC\nASPECT_RATIO 16:9\nPAN_SCAN OFF\n",
     900000,
     {},
     kPictor,
     "j.tp",
     "j.ts",
     false},
    {"ExtendedAnalysis",
     720,
     576,
     kPal,
     700000,
     {1, 0, 0, 0},
     kForDAPath,
     "jobs/menu.tp",
     "out.m2v",
     false},
    {"ProgressiveStillBelowTheLowerBound",
     352,
     288,
     kPal,
     100000,
     {0, 1, 0, 0},
     kPictor,
     "j.tp",
     "j.ts",
     false},
    // Its first final attempt overshoots the limit; the next one keeps to it.
    {"FullRangeWideClipAtTheLimit",
     720,
     576,
     kPal,
     1800000,
     {1, 0, 1, 0},
     kPictor,
     "j.tp",
     "j.ts",
     false},
    // The hardest picture to code, at the largest target.
    {"NoiseAtTheLargestTarget", 720, 576, kPal, 1800000, {}, kPictor, "j.tp", "j.ts", true},
};

class StreamTest : public LibraryTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(StreamTest, DecodesCloseToTheSourceWithinTheTarget) {
    const StreamCase& c = GetParam();
    std::vector<uint8_t> rgb = TestPatternRgb(c.width, c.height);
    if (c.noise)
        std::generate(rgb.begin(), rgb.end(),
                      [r = std::mt19937(7)]() mutable { return uint8_t(r()); });
    std::filesystem::create_directories(std::filesystem::path(dir_ / c.jobName).parent_path());
    std::filesystem::create_directories(dir_ / "still");
    WriteFileBytes(dir_ / "still/pic.tif", MakeRgbTiff(c.width, c.height, rgb));
    WriteFileText(dir_ / c.jobName,
                  "SOURCE_FILE pic.tif\nTARGET_SIZE " + std::to_string(c.target) + "\n" + c.frame);
    ExpectEnded(Run(c.entry, c.jobName, c.stream, c.options), 0);
    // The rate control steers towards the target and may settle a hair above it; never above the
    // limit.
    EXPECT_LE(ReadFileBytes(dir_ / c.stream).size() * 8,
              size_t(std::min(c.target + c.target / 100, 1800000)));
    DecoderVerdict verdict = DecodeStream(dir_ / c.stream, c.width, c.height);
    ASSERT_EQ(DecoderProblems(verdict, c.width, c.height), "");
    const std::vector<uint8_t> luma = VideoLuma(rgb, c.options.levelMode == 1);
    EXPECT_GT(Psnr(verdict.ffmpeg.y.data(), luma.data(), luma.size()), c.noise ? 28 : 45);
}

INSTANTIATE_TEST_SUITE_P(Cases, StreamTest, ::testing::ValuesIn(kStreamCases),
                         [](const ::testing::TestParamInfo<StreamCase>& info) {
                             return info.param.name;
                         });

// The watcher sets cancel once it sees `progress` reach the value. Every poll follows a progress
// write, so a request before 90 is honoured; one at 90 may come after that attempt's poll.
class CancelTest : public LibraryTest, public ::testing::WithParamInterface<int> {};

TEST_P(CancelTest, FromAnotherThreadEndsTheJob) {
    WriteStillPicture(dir_.path, "pic.tif", 720, 576);
    WriteFileText(dir_ / "j.tp", "SOURCE_FILE pic.tif\nTARGET_SIZE 1500000\n" + kPal);
    auto context = std::make_unique<JobContext>();
    char errorText[1024];
    context->errorText = errorText;
    context->extendedAnalysis = 1;  // a longer analysis stage
    std::snprintf(context->workDir, sizeof context->workDir, "%s", dir_.path.c_str());
    std::snprintf(context->jobFileName, sizeof context->jobFileName, "j.tp");
    std::atomic<int> seen(-1), finished(0);
    std::thread watcher([&] {
        int p;
        while ((p = __atomic_load_n(&context->progress, __ATOMIC_RELAXED)) < GetParam() ||
               p == 100) {
            if (finished.load()) return;
        }
        __atomic_store_n(&context->cancel, 1, __ATOMIC_RELAXED);
        seen.store(p);
    });
    const int result = Pictor(context.get());
    finished.store(1);
    watcher.join();
    EXPECT_GE(seen.load(), GetParam());
    EXPECT_TRUE(result == 1 || (result == 0 && seen.load() >= 90))
        << result << ", cancel at " << seen.load();
    EXPECT_EQ(context->cancel, 1);  // the library never writes it
    ExpectEnded({result, context->status, context->progress, errorText}, result);
}

INSTANTIATE_TEST_SUITE_P(AtProgress, CancelTest, ::testing::Values(0, 10, 70, 80, 90));

}  // namespace
