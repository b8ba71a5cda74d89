// Every allocation, file open and stream write of a job made to fail in turn: the job ends with
// the result and the message of that failure, leaves nothing allocated or open, and the next job
// of the process gives the stream it gives in a fresh process.
//
// Allocation failures add no line to the error text. One before the coding passes fails the job
// (-1), one of a coding pass's buffers (from progress 70 on) ends it as cancelled (1); the
// allocations the job can do without, the matrix search's working lists, leave its stream as
// it was. Open failures: the job file (code 2), the picture's type test and its conversion (code
// 13 each), the stream of a final attempt (1, no line). The stream's writes go unchecked: a disk
// that fills up at any write leaves a finished job with the stream cut there.
#include <algorithm>
#include <ostream>
#include <vector>

#include "api/api_jobs.h"
#include "control/threshold_search.h"
#include "pictor/pictor.h"

namespace {

// Progress at which the coding passes start.
constexpr int32_t kPassesProgress = 70;

struct SweepJob {
    const char* name;
    int width, height;
    int target;
    int32_t extended;
};

void PrintTo(const SweepJob& j, std::ostream* os) { *os << j.name; }

class FailureSweep : public LibraryTest, public ::testing::WithParamInterface<SweepJob> {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        const SweepJob& j = GetParam();
        WriteStillPicture(dir_.path, "p.tif", j.width, j.height);
        WriteStillPicture(dir_.path, "next.tif", 96, 64);
        WriteFileText(dir_ / "j.tp", JobText("p.tif", j.target, j.height == 576 ? kPal : kNtsc));
        WriteFileText(dir_ / "next.tp", JobText("next.tif", 300000, kNtsc));
        // The next job's stream as a process that has run no job before gives it.
        InChild([this] { Next(); });
        next_ = ReadFileBytes(dir_ / "next.ts");
        ASSERT_FALSE(next_.empty());
        const JobOutcome clean = Run();
        ASSERT_EQ(clean.result, PICTOR_FINISHED) << clean.errorText;
        reference_ = ReadFileBytes(dir_ / "j.ts");
        allocations_ = tAllocRegistry->count;
        opens_ = tFileRegistry->opens;
        writes_ = tFileRegistry->writes;
        ASSERT_GE(writes_, 1);
    }
    // The job, as the first job of a process would run it.
    JobOutcome Run() {
        ResetCarriedSearchState();
        return RunPictor(dir_.path, "j.tp", {GetParam().extended});
    }
    void Next() {
        ResetCarriedSearchState();
        EXPECT_EQ(RunPictor(dir_.path, "next.tp").result, PICTOR_FINISHED);
    }

    // With `faults` injected: the job's outcome; then what every job must leave behind, and the
    // next job's stream.
    JobOutcome RunFailing(const RegistryFaults& faults) {
        std::remove((dir_ / "j.ts").c_str());
        gRegistryFaults = faults;
        gRegistryFaults.progressAtFailure = -1;
        const JobOutcome outcome = Run();
        fired_ = gRegistryFaults.progressAtFailure;
        gRegistryFaults = RegistryFaults{};
        // However the job ends, its context says so and it releases everything it took.
        EXPECT_EQ(outcome.status, outcome.result);
        EXPECT_EQ(outcome.progress, 100);
        ExpectReleased();
        Next();
        EXPECT_TRUE(ReadFileBytes(dir_ / "next.ts") == next_) << "the next job's stream differs";
        return outcome;
    }

    std::vector<uint8_t> reference_, next_;
    int32_t allocations_ = 0;
    int64_t opens_ = 0, writes_ = 0;
    int32_t fired_ = -1;  // the progress when the injected failure happened; -1: it did not
};

TEST_P(FailureSweep, EachAllocationFailureEndsTheJobCleanly) {
    int absorbed = 0;
    for (int32_t n = 1; n <= allocations_; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(allocations_));
        const JobOutcome job = RunFailing(RegistryFaults{n, 0, 0, 0});
        ASSERT_GE(fired_, 0);
        EXPECT_EQ(job.errorText, "");
        if (job.result == PICTOR_FINISHED) {
            ++absorbed;
            EXPECT_TRUE(ReadFileBytes(dir_ / "j.ts") == reference_);
        } else {
            EXPECT_EQ(job.result, fired_ >= kPassesProgress ? PICTOR_CANCELLED : PICTOR_FAILED)
                << "at progress " << fired_;
        }
    }
    // Only the matrix search has working lists it can do without.
    EXPECT_EQ(absorbed > 0, GetParam().extended != 0) << absorbed;
}

TEST_P(FailureSweep, EachOpenFailureEndsTheJobWithItsMessage) {
    ASSERT_EQ(opens_, 4);  // job file, type test, conversion, one final attempt
    const std::string picture = "Cannot open TIFF source file <" + dir_ / "still/p.tif" + ">";
    const std::string texts[] = {ErrorLine(2, "Cannot open <" + dir_ / "j.tp" + "> "),
                                 ErrorLine(13, picture), ErrorLine(13, picture), ""};
    for (int64_t n = 1; n <= opens_; ++n) {
        SCOPED_TRACE("open " + std::to_string(n));
        const JobOutcome job = RunFailing(RegistryFaults{0, n, 0, 0});
        EXPECT_GE(fired_, 0);
        EXPECT_EQ(job.result, n < opens_ ? PICTOR_FAILED : PICTOR_CANCELLED);
        EXPECT_EQ(job.errorText, texts[n - 1]);
        EXPECT_FALSE(FileExists(dir_ / "j.ts"));
    }
}

TEST_P(FailureSweep, AStreamWriteFailureFinishesWithTheStreamCutThere) {
    // The stream goes out in whole buffers through one unchecked call: every write is tried.
    for (int64_t n = 1; n <= writes_; ++n) {
        SCOPED_TRACE("write " + std::to_string(n) + " of " + std::to_string(writes_));
        const JobOutcome job = RunFailing(RegistryFaults{0, 0, n, 0});
        EXPECT_GE(fired_, 0);
        EXPECT_EQ(job.result, PICTOR_FINISHED);
        EXPECT_EQ(job.errorText, "");
        const std::vector<uint8_t> stream = ReadFileBytes(dir_ / "j.ts");
        EXPECT_LT(stream.size(), reference_.size());
        EXPECT_TRUE(std::equal(stream.begin(), stream.end(), reference_.begin()));
    }
}

INSTANTIATE_TEST_SUITE_P(Jobs, FailureSweep,
                         ::testing::Values(SweepJob{"Small", 96, 64, 200000, 0},
                                           SweepJob{"SmallExtended", 96, 64, 200000, 1},
                                           SweepJob{"Frame720x576Extended", 720, 576, 1200000, 1}),
                         ::testing::PrintToStringParamName());

}  // namespace
