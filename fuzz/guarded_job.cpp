#include "guarded_job.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

// The one place of the fuzz programs that looks inside the library: its two registries.
#include "runtime/registry.h"

namespace fuzz {

void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "pictor fuzz check failed: %s\n", what);
    if (!detail.empty()) std::fprintf(stderr, "%s\n", detail.c_str());
    std::fflush(stderr);
    std::abort();
}

const std::string& ScratchDir() {
    static const TempDir dir;
    static const bool still = std::filesystem::create_directory(dir / "still");
    if (!still) Fail("cannot make still/", dir.path);
    return dir.path;
}

namespace {

bool gReplay = false;

// Notes a job the watchdog stopped and keeps its input, for the report and a later replay.
void NoteHang(double seconds, const uint8_t* input, size_t size) {
    static int hangs = 0;
    if (++hangs <= 5 || hangs % 100 == 0) {
        std::fprintf(stderr, "watchdog: job cancelled after %.1f s (%d so far)\n", seconds, hangs);
    }
    const char* dir = std::getenv("PICTOR_FUZZ_HANG_DIR");
    if (dir == nullptr || *dir == '\0' || input == nullptr || hangs > 50) return;
    const std::string_view bytes(reinterpret_cast<const char*>(input), size);
    char name[64];
    std::snprintf(name, sizeof name, "/hang-%016zx", std::hash<std::string_view>{}(bytes));
    WriteFileBytes(std::string(dir) + name, std::vector<uint8_t>(input, input + size));
}

}  // namespace

void UseReplayRules() { gReplay = true; }

JobOutcome RunCheckedJob(const JobOptions& options, double watchdogSeconds, const uint8_t* input,
                         size_t inputSize) {
    static const char* hangAbort = std::getenv("PICTOR_FUZZ_HANG_ABORT");
    static const bool abortOnHang =
        gReplay || (hangAbort != nullptr && std::strcmp(hangAbort, "1") == 0);
    if (gReplay) watchdogSeconds = kReplayWatchdogSeconds;
    const std::string stream = ScratchDir() + "/job.ts";
    std::remove(stream.c_str());
    const long descriptors = OpenDescriptors();
    bool fired = false;
    auto watchdog = [&](JobContext& context, std::future<void>& end) {
        const auto limit = std::chrono::duration<double>(watchdogSeconds);
        if (end.wait_for(limit) == std::future_status::ready) return;
        fired = true;
        if (abortOnHang) Fail("job still running when the watchdog ran out");
        __atomic_store_n(&context.cancel, 1, __ATOMIC_RELAXED);
    };
    const JobOutcome job = RunPictor(ScratchDir(), "job.tp", options, watchdog);
    if (fired) NoteHang(watchdogSeconds, input, inputSize);
    static const bool verbose = std::getenv("PICTOR_FUZZ_VERBOSE") != nullptr;
    if (verbose) std::fprintf(stderr, "result %d\n%s", job.result, job.errorText.c_str());
    CheckJobEnd(job, stream, descriptors);
    return job;
}

void CheckJobEnd(const JobOutcome& job, const std::string& streamPath, long descriptorsBefore) {
    if (job.result != PICTOR_FINISHED && job.result != PICTOR_FAILED &&
        job.result != PICTOR_CANCELLED) {
        Fail("unknown result", std::to_string(job.result));
    }
    if (job.status != job.result) Fail("status differs from the result", job.errorText);
    if (job.progress != 100) Fail("progress is not 100 at the end", std::to_string(job.progress));
    if (job.errorText.size() > 1023) Fail("error text too long or unterminated");
    if (job.result == PICTOR_FINISHED) {
        std::vector<uint8_t> s = ReadFileBytes(streamPath);
        static const uint8_t kSequenceHeader[4] = {0, 0, 1, 0xB3};
        static const uint8_t kSequenceEnd[4] = {0, 0, 1, 0xB7};
        if (s.size() < 8) Fail("finished job without a stream", streamPath);
        if (static_cast<long>(s.size()) * 8 > kMaxStreamBits) {
            Fail("stream above the size limit", std::to_string(s.size() * 8) + " bits");
        }
        if (std::memcmp(s.data(), kSequenceHeader, 4) != 0) Fail("stream starts wrongly");
        if (std::memcmp(s.data() + s.size() - 4, kSequenceEnd, 4) != 0) {
            Fail("stream without a sequence end code");
        }
    }
    const long descriptors = OpenDescriptors();
    if (descriptors != descriptorsBefore) {
        Fail("descriptor left open",
             std::to_string(descriptorsBefore) + " before, " + std::to_string(descriptors));
    }
    if (TrackedBlocks() != 0) Fail("tracked block left", std::to_string(TrackedBlocks()));
    if (tFileRegistry->count != 0) Fail("tracked file left", std::to_string(tFileRegistry->count));
}

}  // namespace fuzz
