// TIFF bytes as the source picture of a fixed, valid job.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"

namespace {

const char kJob[] =
    "SOURCE_FILE pic.tif\n"
    "TARGET_SIZE 400000\n"
    "FRMRT NTSC\n"
    "ASPECT_RATIO 4:3\n"
    "PAN_SCAN OFF\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = fuzz::ScratchDir();
    static const bool ready = [&dir] {
        fuzz::WriteFile(dir + "/job.tp", kJob);
        return true;
    }();
    (void)ready;
    const std::string stream = dir + "/job.ts";
    fuzz::RemoveFile(stream);
    fuzz::WriteFile(dir + "/still/pic.tif", data, size);

    int descriptors = fuzz::OpenDescriptors();
    fuzz::GuardedJob job =
        fuzz::RunGuardedJob(dir, "job.tp", fuzz::JobSwitches{}, 10.0, data, size);
    fuzz::CheckJobEnd(job, stream, descriptors);
    return 0;
}
