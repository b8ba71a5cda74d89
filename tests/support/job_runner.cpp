#include "support/job_runner.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "api/library_context.h"
#include "runtime/job.h"
#include "support/files.h"
#include "support/tiff_writer.h"

JobOutcome RunPictor(const std::string& workDir, const std::string& jobFileName,
                     const JobOptions& options, const JobWatch& watch) {
    auto context = std::make_unique<JobContext>();  // zeroed
    // Filled, so that a text the library leaves unterminated shows as 1024 characters.
    char errorText[1024];
    std::memset(errorText, 'x', sizeof errorText);
    context->errorText = errorText;
    std::snprintf(context->workDir, sizeof context->workDir, "%s", workDir.c_str());
    std::snprintf(context->jobFileName, sizeof context->jobFileName, "%s", jobFileName.c_str());
    context->extendedAnalysis = options.extendedAnalysis;
    context->progressiveStill = options.progressiveStill;
    context->levelMode = options.levelMode;
    context->cancel = options.cancel;
    std::promise<void> ended;
    std::future<void> end = ended.get_future();
    std::thread watcher;
    if (watch) watcher = std::thread(watch, std::ref(*context), std::ref(end));
    JobOutcome outcome;
    outcome.result = Pictor(context.get());
    ended.set_value();
    if (watcher.joinable()) watcher.join();
    outcome.status = context->status;
    outcome.progress = context->progress;
    outcome.errorText.assign(errorText, strnlen(errorText, sizeof errorText));
    return outcome;
}

JobOutcome RunEntry(Entry entry, const std::string& workDir, const std::string& jobFileName,
                    const std::string& streamName, const JobOptions& options) {
    if (entry == Entry::kPictor) return RunPictor(workDir, jobFileName, options);
    const bool path = entry == Entry::kForDAPath;
    JobOutcome outcome;
    outcome.result =
        PictorForDA(workDir.c_str(), (path ? workDir + "/" : "").append(jobFileName).c_str(),
                    path ? (workDir + "/" + streamName).c_str() : "", options.extendedAnalysis);
    outcome.status = gLibraryContext.context.status;
    outcome.progress = gLibraryContext.context.progress;
    outcome.errorText = gLibraryContext.errorText;
    return outcome;
}

std::string ErrorLine(int code, const std::string& message) {
    return "Pictor error " + std::to_string(code) + ": " + message + "\n";
}

std::vector<uint8_t> TestPatternRgb(int width, int height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            bool square = ((x / 24) + (y / 24)) % 2 == 0;
            p[0] = static_cast<uint8_t>(x * 255 / width);
            p[1] = static_cast<uint8_t>(square ? 200 : 40);
            p[2] = static_cast<uint8_t>(y * 255 / height);
        }
    }
    return rgb;
}

std::vector<uint8_t> NoiseRgb(int width, int height, uint32_t seed) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (uint8_t& v : rgb) {
        seed = seed * 1103515245u + 12345u;
        v = static_cast<uint8_t>(seed >> 24);
    }
    return rgb;
}

namespace {

void WriteStill(const std::string& workDir, const std::string& name, int width, int height,
                const std::vector<uint8_t>& rgb) {
    std::error_code ignored;
    std::filesystem::create_directory(workDir + "/still", ignored);
    WriteFileBytes(workDir + "/still/" + name, MakeRgbTiff(width, height, rgb));
}

}  // namespace

void WriteStillPicture(const std::string& workDir, const std::string& name, int width, int height) {
    WriteStill(workDir, name, width, height, TestPatternRgb(width, height));
}

void WriteNoisePicture(const std::string& workDir, const std::string& name, int width, int height,
                       uint32_t seed) {
    WriteStill(workDir, name, width, height, NoiseRgb(width, height, seed));
}
