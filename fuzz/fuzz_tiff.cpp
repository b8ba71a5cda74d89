// TIFF bytes as the source picture of a fixed, valid job.
#include <cstddef>
#include <cstdint>

#include "guarded_job.h"

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
        WriteFileText(dir + "/job.tp", kJob);
        return true;
    }();
    (void)ready;
    WriteFileBytes(dir + "/still/pic.tif", std::vector<uint8_t>(data, data + size));
    fuzz::RunCheckedJob(JobOptions{}, 10.0, data, size);
    return 0;
}
