// The whole job of the example picture through the entry point, as the command runs it: the
// TIFF read and converted, the analysis, the passes and the stream file, each job as the first
// of a process. For the benchmarks that time jobs.
#ifndef PICTOR_BENCH_EXAMPLE_JOB_H
#define PICTOR_BENCH_EXAMPLE_JOB_H

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "pictor/pictor.h"

#include "support/files.h"
#include "support/job_runner.h"
#include "support/state.h"

constexpr const char* kExampleTiff = PICTOR_SOURCE_DIR "/examples/still/astronaut.tif";

// A work folder holding the example picture and a job file for it at `target` bits, PAL 4:3.
struct ExampleJob {
    TempDir dir;
    JobOptions options;
    bool ready = false;

    ExampleJob(int32_t target, int32_t extended) {
        if (!FileExists(kExampleTiff)) return;
        mkdir((dir / "still").c_str(), 0755);
        WriteFileBytes(dir / "still/astronaut.tif", ReadFileBytes(kExampleTiff));
        WriteFileText(dir / "job.tp", "SOURCE_FILE astronaut.tif\nTARGET_SIZE " +
                                          std::to_string(target) +
                                          "\nFRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n");
        options.extendedAnalysis = extended;
        ready = true;
    }
    // One job; true when it finished.
    bool Run() {
        ResetAllState();
        return RunPictor(dir.path, "job.tp", options).result == 0;
    }
};

// The same job as the command runs a picture on an encoder instance: the TIFF's bytes in memory
// (read once, as a caller holding the picture has them) and the stream into a buffer, so no file
// is opened, truncated or written.
struct ExampleMemoryJob {
    PictorEncoder* encoder = PictorCreate();
    PictorSettings settings;
    std::vector<uint8_t> tiff = ReadFileBytes(kExampleTiff);
    std::vector<unsigned char> out = std::vector<unsigned char>(225000);
    bool ready = false;

    ExampleMemoryJob(int32_t target, int32_t extended) {
        PictorDefaultSettings(&settings);
        settings.targetBits = target;
        settings.extendedAnalysis = extended;
        ready = encoder != nullptr && !tiff.empty();
    }
    ~ExampleMemoryJob() {
        if (PictorDestroy(encoder) != 0) std::abort();
    }
    ExampleMemoryJob(const ExampleMemoryJob&) = delete;
    ExampleMemoryJob& operator=(const ExampleMemoryJob&) = delete;

    // One job, as the first of a new instance; true when it finished.
    bool Run() {
        PictorStream stream{out.data(), out.size(), 0, nullptr, nullptr};
        return PictorResetCarried(encoder) == 0 &&
               PictorEncodeTiff(encoder, &settings, tiff.data(), tiff.size(), &stream, nullptr) ==
                   0;
    }
};

#endif
