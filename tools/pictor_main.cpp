// pictor: the command-line front of the library.
#include <cstdio>
#include <cstring>
#include <string>

#include "pictor/pictor.h"

#ifndef PICTOR_VERSION
#define PICTOR_VERSION "0"
#endif

namespace {

constexpr int kExitUsage = 64;

void PrintHelp(FILE* to) {
    std::fprintf(to,
                 "Usage: pictor run JOBFILE\n"
                 "       pictor --help | --version\n"
                 "\n"
                 "Codes the TIFF picture that a job parameter file names into one MPEG-2\n"
                 "intra frame (elementary stream) next to the job file.\n");
}

int RunJobFile(const std::string& jobFile) {
    JobContext context;
    std::memset(&context, 0, sizeof context);
    static char errorText[1024];
    context.errorText = errorText;
    std::string dir = ".";
    std::string name = jobFile;
    size_t slash = jobFile.rfind('/');
    if (slash != std::string::npos) {
        dir = jobFile.substr(0, slash);
        name = jobFile.substr(slash + 1);
    }
    if (dir.size() >= sizeof context.workDir || name.size() >= sizeof context.jobFileName) {
        std::fprintf(stderr, "pictor: job file path too long: %s\n", jobFile.c_str());
        return kExitUsage;
    }
    std::memcpy(context.workDir, dir.c_str(), dir.size() + 1);
    std::memcpy(context.jobFileName, name.c_str(), name.size() + 1);
    int result = Pictor(&context);
    if (result != 0) std::fputs(errorText, stderr);
    return result == 0 ? 0 : result == 1 ? 2 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        PrintHelp(stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("pictor %s\n", PICTOR_VERSION);
        return 0;
    }
    if (command == "run" && argc == 3) return RunJobFile(argv[2]);
    std::fprintf(stderr, "pictor: unknown arguments; see pictor --help\n");
    return kExitUsage;
}
