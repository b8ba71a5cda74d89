// The shared library as a host sees it: its exports and limits, every accepted picture size, and
// jobs stopped from another thread.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>
#include <thread>
#include <vector>

#include "api/api_jobs.h"
#include "convert/colour.h"
#include "messages/report.h"
#include "pictor/pictor.h"
#include "support/decoders.h"
#include "support/tiff_writer.h"

namespace {

TEST(Library, ExportsExactlyTheTwoEntryPoints) {
    std::string names;
    const std::string command = "nm -D --defined-only '" PICTOR_LIBRARY_PATH "' | awk '{print $3}'";
    ASSERT_EQ(RunCommand(command, &names), 0);
    EXPECT_EQ(names, "Pictor\nPictorForDA\n");
    EXPECT_EQ(Pictor(nullptr), -1);
    EXPECT_EQ(PictorForDA(nullptr, nullptr, nullptr, 0), -1);
}

// One record past a table fails like any allocation (no line) or open (code 2), and writes
// nothing past it.
TEST_F(LibraryTest, RegistriesRefuseTheRecordPastTheirTables) {
    char text[1024] = {};
    BindErrorText(text, kModulePictor);
    const std::string file = dir_ / "f";
    WriteFileText(file, "");
    EXPECT_EQ(TrackedAlloc(~uint64_t{0}, 2), nullptr);  // count x size overflows 64 bits
    for (int i = 1; i < kAllocRecords; ++i) ASSERT_NE(TrackedAlloc(1, 1), nullptr) << i;
    EXPECT_EQ(TrackedAlloc(1, 1), nullptr);
    EXPECT_EQ(gAllocRegistry.count, kAllocRecords);
    for (int i = 0; i < kFileRecords; ++i) ASSERT_NE(TrackedOpen(file.c_str(), "rb"), nullptr);
    FILE* extra = nullptr;
    EXPECT_EQ(OpenOrReport(file.c_str(), "rb", &extra), -1);
    EXPECT_EQ(gFileRegistry.count, kFileRecords);
    EXPECT_EQ(std::string(text), ErrorLine(2, "Cannot open <" + file + "> "));
    // The gap a closed file leaves must not hide the files after it.
    TrackedClose(gFileRegistry.records[10].stream);
    FreeAllTracked();
    CloseAllTracked();
    ExpectReleased();
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

struct PictureSize {
    int width, height;
};
void PrintTo(const PictureSize& s, std::ostream* os) { *os << s.width << "x" << s.height; }

std::vector<PictureSize> AcceptedSizes() {
    std::vector<PictureSize> sizes;
    for (int width : {720, 704, 352, 176, 96}) {
        for (int height : {576, 288, 144, 80, 480, 240, 112, 64}) sizes.push_back({width, height});
    }
    return sizes;
}

class SizeTest : public LibraryTest, public ::testing::WithParamInterface<PictureSize> {};

// Every picture size a job accepts codes to a stream that both decoders play.
TEST_P(SizeTest, CodesWithinTheLimitAndDecodes) {
    const int width = GetParam().width, height = GetParam().height;
    WriteStillPicture(dir_.path, "pic.tif", width, height);
    const bool pal = height % 9 == 0 || height == 80;
    WriteFileText(dir_ / "j.tp", JobText("pic.tif", 400000, pal ? kPal : kNtsc));
    ExpectEnded(RunPictor(dir_.path, "j.tp"), 0);
    EXPECT_LE(ReadFileBytes(dir_ / "j.ts").size() * 8, 1800000u);
    const DecoderVerdict verdict = DecodeStream(dir_ / "j.ts", width, height);
    ASSERT_EQ(DecoderProblems(verdict, width, height), "");
    // The picture's own luma, as the conversion (pinned against independent decodes) makes it.
    const std::vector<uint8_t> rgb = TestPatternRgb(width, height);
    std::vector<uint8_t> luma;
    for (size_t i = 0; i < rgb.size(); i += 3)
        luma.push_back(LumaOf(rgb[i], rgb[i + 1], rgb[i + 2], kVideoLevels));
    EXPECT_GT(Psnr(verdict.ffmpeg.y.data(), luma.data(), luma.size()), 40);
}

INSTANTIATE_TEST_SUITE_P(Accepted, SizeTest, ::testing::ValuesIn(AcceptedSizes()),
                         [](const ::testing::TestParamInfo<PictureSize>& info) {
                             return ::testing::PrintToString(info.param);
                         });

// The watcher sets cancel once it sees `progress` reach the value. Every poll follows a progress
// write, so a request stored before the last attempt's poll is honoured; a job may finish only
// when `progress` had already reached 90 by the time the request was stored, or when it passed
// the value while the watcher waited for a processor.
class CancelTest : public LibraryTest, public ::testing::WithParamInterface<int> {};

TEST_P(CancelTest, FromAnotherThreadEndsTheJob) {
    WriteStillPicture(dir_.path, "pic.tif", 720, 576);
    WriteFileText(dir_ / "j.tp", JobText("pic.tif", 1500000, kPal));
    auto context = std::make_unique<JobContext>();
    char errorText[1024];
    context->errorText = errorText;
    context->extendedAnalysis = 1;  // a longer analysis stage
    std::snprintf(context->workDir, sizeof context->workDir, "%s", dir_.path.c_str());
    std::snprintf(context->jobFileName, sizeof context->jobFileName, "j.tp");
    std::atomic<int> seen(-1), atStore(-1), finished(0);
    std::thread watcher([&] {
        int p;
        while ((p = __atomic_load_n(&context->progress, __ATOMIC_RELAXED)) < GetParam() ||
               p == 100) {
            if (finished.load()) return;
        }
        __atomic_store_n(&context->cancel, 1, __ATOMIC_SEQ_CST);
        atStore.store(__atomic_load_n(&context->progress, __ATOMIC_SEQ_CST));
        seen.store(p);
    });
    const int result = Pictor(context.get());
    finished.store(1);
    watcher.join();
    if (seen.load() < 0) {
        // The job passed the value while the watcher waited for a processor: no request.
        EXPECT_EQ(result, 0);
        EXPECT_EQ(context->cancel, 0);
    } else {
        EXPECT_GE(seen.load(), GetParam());
        EXPECT_TRUE(result == 1 || (result == 0 && atStore.load() >= 90))
            << result << ", cancel stored at progress " << atStore.load();
        EXPECT_EQ(context->cancel, 1);  // the library never writes it
    }
    EXPECT_STREQ(errorText, "");
    ExpectEnded({result, context->status, context->progress, errorText}, result);
}

INSTANTIATE_TEST_SUITE_P(AtProgress, CancelTest, ::testing::Values(0, 10, 70, 80, 90));

}  // namespace
