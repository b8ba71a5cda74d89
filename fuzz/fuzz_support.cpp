#include "fuzz_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

// The one place that looks inside the library: its two registries.
#include "api/registry.h"

namespace fuzz {

int TrackedBlocksLeft() { return TrackedBlocks(); }
int TrackedFilesLeft() { return gFileRegistry.count; }

void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "pictor fuzz check failed: %s\n", what);
    if (!detail.empty()) std::fprintf(stderr, "%s\n", detail.c_str());
    std::fflush(stderr);
    std::abort();
}

namespace {

std::string gScratch;

void RemoveScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(gScratch, ignored);
}

}  // namespace

const std::string& ScratchDir() {
    if (!gScratch.empty()) return gScratch;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
    pattern += "/pictor-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) Fail("cannot make a scratch folder", pattern);
    gScratch = name.data();
    if (mkdir((gScratch + "/still").c_str(), 0700) != 0) Fail("cannot make still/", gScratch);
    std::atexit(RemoveScratch);
    return gScratch;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) Fail("cannot write", path);
    if (size > 0 && std::fwrite(data, 1, size, f) != size) Fail("short write", path);
    if (std::fclose(f) != 0) Fail("cannot close", path);
}

void WriteFile(const std::string& path, const std::string& text) {
    WriteFile(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    return bytes;
}

void RemoveFile(const std::string& path) { unlink(path.c_str()); }

int OpenDescriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    int count = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    return count;
}

long ResidentKilobytes() {
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return -1;
    long size = 0;
    long resident = 0;
    int n = std::fscanf(f, "%ld %ld", &size, &resident);
    std::fclose(f);
    if (n != 2) return -1;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

namespace {

// Little- or big-endian TIFF bytes.
class TiffBytes {
public:
    explicit TiffBytes(bool bigEndian) : big_(bigEndian) {}
    void U16(uint32_t v) {
        if (big_) {
            Byte(v >> 8);
            Byte(v);
        } else {
            Byte(v);
            Byte(v >> 8);
        }
    }
    void U32(uint32_t v) {
        if (big_) {
            U16(v >> 16);
            U16(v & 0xFFFF);
        } else {
            U16(v & 0xFFFF);
            U16(v >> 16);
        }
    }
    void Byte(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v & 0xFF)); }
    std::vector<uint8_t> bytes;

private:
    bool big_;
};

}  // namespace

std::vector<uint8_t> MakeRgbTiff(int width, int height, const std::vector<uint8_t>& rgb,
                                 bool bigEndian) {
    const uint32_t stripBytes = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 3;
    if (rgb.size() != stripBytes) Fail("picture bytes do not match its size");
    constexpr uint32_t kEntries = 9;
    const uint32_t directory = 8;
    const uint32_t bitsAt = directory + 2 + kEntries * 12 + 4;
    const uint32_t stripAt = bitsAt + 6;
    TiffBytes t(bigEndian);
    t.Byte(bigEndian ? 'M' : 'I');
    t.Byte(bigEndian ? 'M' : 'I');
    t.U16(42);
    t.U32(directory);
    t.U16(kEntries);
    auto entry = [&t](uint32_t tag, uint32_t type, uint32_t count, uint32_t value) {
        t.U16(tag);
        t.U16(type);
        t.U32(count);
        if (type == 3 && count == 1) {
            t.U16(value);
            t.U16(0);
        } else {
            t.U32(value);
        }
    };
    entry(256, 3, 1, static_cast<uint32_t>(width));
    entry(257, 3, 1, static_cast<uint32_t>(height));
    entry(258, 3, 3, bitsAt);
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 2);
    entry(273, 4, 1, stripAt);
    entry(277, 3, 1, 3);
    entry(278, 4, 1, static_cast<uint32_t>(height));
    entry(279, 4, 1, stripBytes);
    t.U32(0);
    t.U16(8);
    t.U16(8);
    t.U16(8);
    t.bytes.insert(t.bytes.end(), rgb.begin(), rgb.end());
    return t.bytes;
}

namespace {

bool gReplay = false;

uint64_t Fingerprint(const uint8_t* data, size_t size) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

// Keeps the input of a job the watchdog stopped, for the report and a later replay.
void SaveHang(const uint8_t* input, size_t size) {
    static int saved = 0;
    const char* dir = std::getenv("PICTOR_FUZZ_HANG_DIR");
    if (dir == nullptr || *dir == '\0' || input == nullptr || saved >= 50) return;
    ++saved;
    char name[64];
    std::snprintf(name, sizeof name, "/hang-%016llx",
                  static_cast<unsigned long long>(Fingerprint(input, size)));
    WriteFile(std::string(dir) + name, input, size);
}

void NoteWatchdog(double seconds) {
    static int notes = 0;
    if (++notes <= 5 || notes % 100 == 0) {
        std::fprintf(stderr, "watchdog: job cancelled after %.1f s (%d so far)\n", seconds, notes);
    }
}

}  // namespace

void UseReplayRules() { gReplay = true; }

GuardedJob RunGuardedJob(const std::string& workDir, const std::string& jobFileName,
                         const JobSwitches& switches, double watchdogSeconds, const uint8_t* input,
                         size_t inputSize) {
    static char errorText[1024];
    static JobContext context;
    std::memset(&context, 0, sizeof context);
    std::memset(errorText, 0, sizeof errorText);
    context.errorText = errorText;
    std::snprintf(context.workDir, sizeof context.workDir, "%s", workDir.c_str());
    std::snprintf(context.jobFileName, sizeof context.jobFileName, "%s", jobFileName.c_str());
    context.extendedAnalysis = switches.extendedAnalysis;
    context.progressiveStill = switches.progressiveStill;
    context.levelMode = switches.levelMode;

    static const bool abortOnHang = [] {
        const char* v = std::getenv("PICTOR_FUZZ_HANG_ABORT");
        return gReplay || (v != nullptr && std::strcmp(v, "1") == 0);
    }();
    if (gReplay) watchdogSeconds = kReplayWatchdogSeconds;

    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    bool fired = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        auto limit = std::chrono::duration<double>(watchdogSeconds);
        if (ended.wait_for(lock, limit, [&] { return done; })) return;
        fired = true;
        if (abortOnHang) Fail("job still running when the watchdog ran out");
        __atomic_store_n(&context.cancel, 1, __ATOMIC_RELAXED);
    });

    GuardedJob job;
    job.result = Pictor(&context);
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    ended.notify_one();
    watchdog.join();

    job.status = __atomic_load_n(&context.status, __ATOMIC_RELAXED);
    job.progress = __atomic_load_n(&context.progress, __ATOMIC_RELAXED);
    job.watchdogFired = fired;
    job.errorText.assign(errorText, strnlen(errorText, sizeof errorText));
    if (fired) {
        NoteWatchdog(watchdogSeconds);
        SaveHang(input, inputSize);
    }
    static const bool verbose = std::getenv("PICTOR_FUZZ_VERBOSE") != nullptr;
    if (verbose) std::fprintf(stderr, "result %d\n%s", job.result, job.errorText.c_str());
    return job;
}

void CheckJobEnd(const GuardedJob& job, const std::string& streamPath, int descriptorsBefore) {
    if (job.result != PICTOR_FINISHED && job.result != PICTOR_FAILED &&
        job.result != PICTOR_CANCELLED) {
        Fail("unknown result", std::to_string(job.result));
    }
    if (job.status != job.result) Fail("status differs from the result", job.errorText);
    if (job.progress != 100) Fail("progress is not 100 at the end", std::to_string(job.progress));
    if (job.errorText.size() > 1023) Fail("error text too long");
    if (job.result == PICTOR_FINISHED) {
        std::vector<uint8_t> s = ReadFile(streamPath);
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
    int descriptors = OpenDescriptors();
    if (descriptors != descriptorsBefore) {
        Fail("descriptor left open",
             std::to_string(descriptorsBefore) + " before, " + std::to_string(descriptors));
    }
    if (TrackedBlocksLeft() != 0) Fail("tracked block left", std::to_string(TrackedBlocksLeft()));
    if (TrackedFilesLeft() != 0) Fail("tracked file left", std::to_string(TrackedFilesLeft()));
}

}  // namespace fuzz
