// Job parameter file text with a fixed small picture. The first input byte holds the job's
// switches: bit 0 extended analysis, bit 1 progressive still, bits 2-3 the level mode.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"

namespace {

constexpr int kWidth = 96;
constexpr int kHeight = 64;

// Gradients and edges, so every coding path has something to do.
std::vector<uint8_t> Pattern() {
    std::vector<uint8_t> rgb;
    rgb.reserve(kWidth * kHeight * 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            rgb.push_back(static_cast<uint8_t>(x * 255 / (kWidth - 1)));
            rgb.push_back(static_cast<uint8_t>(y * 255 / (kHeight - 1)));
            rgb.push_back(((x / 8 + y / 8) % 2) != 0 ? 220 : 30);
        }
    }
    return rgb;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // Source names are looked up below the job's folder: keep them from climbing out of it.
    for (size_t i = 1; i + 1 < size; ++i) {
        if (data[i] == '.' && data[i + 1] == '.') return 0;
    }
    const std::string& dir = fuzz::ScratchDir();
    static const bool ready = [&dir] {
        std::vector<uint8_t> tiff = fuzz::MakeRgbTiff(kWidth, kHeight, Pattern(), false);
        fuzz::WriteFile(dir + "/still/pic.tif", tiff.data(), tiff.size());
        return true;
    }();
    (void)ready;
    const std::string stream = dir + "/job.ts";
    fuzz::RemoveFile(stream);
    fuzz::WriteFile(dir + "/job.tp", data + 1, size - 1);

    fuzz::JobSwitches switches;
    switches.extendedAnalysis = data[0] & 1;
    switches.progressiveStill = (data[0] >> 1) & 1;
    switches.levelMode = (data[0] >> 2) & 3;
    int descriptors = fuzz::OpenDescriptors();
    fuzz::GuardedJob job = fuzz::RunGuardedJob(dir, "job.tp", switches, 10.0, data, size);
    fuzz::CheckJobEnd(job, stream, descriptors);
    return 0;
}
