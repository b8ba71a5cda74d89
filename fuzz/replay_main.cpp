// Feeds every file named on the command line, and every file below every folder named there
// (except notes, *.md), to the fuzz target, one after the other in name order: the target's
// checks without libFuzzer. A job that does not end within the replay's watchdog fails.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "guarded_job.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        fs::path arg = argv[i];
        if (fs::is_directory(arg)) {
            for (const auto& entry : fs::recursive_directory_iterator(arg)) {
                if (entry.is_regular_file() && entry.path().extension() != ".md") {
                    files.push_back(entry.path());
                }
            }
        } else if (fs::is_regular_file(arg)) {
            files.push_back(arg);
        } else {
            std::fprintf(stderr, "no such file or folder: %s\n", argv[i]);
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    fuzz::UseReplayRules();
    for (const fs::path& file : files) {
        std::fprintf(stderr, "replay %s\n", file.c_str());
        std::vector<uint8_t> bytes = ReadFileBytes(file.string());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return files.empty() ? 1 : 0;
}
