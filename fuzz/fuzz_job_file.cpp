// Job parameter file text with a fixed small picture. The first input byte holds the job's
// switches: bit 0 extended analysis, bit 1 progressive still, bits 2-3 the level mode.
#include <cstddef>
#include <cstdint>

#include "guarded_job.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // Source names are looked up below the job's folder: keep them from climbing out of it.
    for (size_t i = 1; i + 1 < size; ++i) {
        if (data[i] == '.' && data[i + 1] == '.') return 0;
    }
    const std::string& dir = fuzz::ScratchDir();
    static const bool ready = [&dir] {
        WriteStillPicture(dir, "pic.tif", 96, 64);
        return true;
    }();
    (void)ready;
    WriteFileBytes(dir + "/job.tp", std::vector<uint8_t>(data + 1, data + size));
    JobOptions options;
    options.extendedAnalysis = data[0] & 1;
    options.progressiveStill = (data[0] >> 1) & 1;
    options.levelMode = (data[0] >> 2) & 3;
    fuzz::RunCheckedJob(options, 10.0, data, size);
    return 0;
}
