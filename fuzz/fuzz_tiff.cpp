// TIFF bytes as the source picture of a fixed, valid job, coded from the job file and again from
// memory on an encoder instance: both must give the same result, stream and message codes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "guarded_job.h"
#include "pictor/pictor.h"

namespace {

const char kJob[] =
    "SOURCE_FILE pic.tif\n"
    "TARGET_SIZE 400000\n"
    "FRMRT NTSC\n"
    "ASPECT_RATIO 4:3\n"
    "PAN_SCAN OFF\n";

// "Pictor error 19: ..." lines as their codes, in order.
std::string MessageCodes(const std::string& text) {
    std::string codes;
    for (size_t at = text.find("error "); at != std::string::npos; at = text.find("error ", at + 1))
        codes += text.substr(at + 6, text.find(':', at) - at - 6) + ' ';
    return codes;
}

void CheckMemoryPath(const JobOutcome& file, const uint8_t* data, size_t size) {
    static PictorEncoder* const encoder = PictorCreate();
    PictorSettings settings;
    PictorDefaultSettings(&settings);
    settings.targetBits = 400000;
    settings.standard = PICTOR_NTSC;
    std::vector<uint8_t> out(225000);
    PictorStream stream{out.data(), out.size(), 0, nullptr, nullptr};
    PictorJobState state{};
    if (PictorResetCarried(encoder) != 0) fuzz::Fail("instance busy between jobs");
    const int result = PictorEncodeTiff(encoder, &settings, data, size, &stream, &state);
    if (result != file.result) fuzz::Fail("memory and file results differ", state.errorText);
    if (MessageCodes(state.errorText) != MessageCodes(file.errorText))
        fuzz::Fail("memory and file messages differ", state.errorText + ("\n" + file.errorText));
    out.resize(stream.size);
    if (result == PICTOR_FINISHED && out != ReadFileBytes(fuzz::ScratchDir() + "/job.ts"))
        fuzz::Fail("memory and file streams differ");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = fuzz::ScratchDir();
    static const bool ready = [&dir] {
        WriteFileText(dir + "/job.tp", kJob);
        return true;
    }();
    (void)ready;
    WriteFileBytes(dir + "/still/pic.tif", std::vector<uint8_t>(data, data + size));
    const JobOutcome file = fuzz::RunCheckedJob(JobOptions{}, 10.0, data, size);
    // A job the watchdog stopped would run as long again from memory.
    if (file.result != PICTOR_CANCELLED) CheckMemoryPath(file, data, size);
    return 0;
}
