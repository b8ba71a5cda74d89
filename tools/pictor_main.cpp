// pictor: the command-line front of the library.
#include <cstdio>
#include <string>

#include "cli.h"

namespace {

void PrintHelp(FILE* to) {
    std::fputs(
        "Usage: pictor run JOBFILE [--stream PATH] [OPTIONS]\n"
        "       pictor encode PICTURE.tif -o OUT --target BITS --standard pal|ntsc\n"
        "                     --aspect 4:3|16:9 [--pan-scan VECTOR] [OPTIONS]\n"
        "       pictor --help | --version\n"
        "\n"
        "Codes one TIFF picture (720, 704, 352, 176 or 96 samples wide; 480, 576, 240,\n"
        "288, 112, 64, 144 or 80 rows high) into one intra frame of an MPEG-2 Main\n"
        "Profile @ Main Level video elementary stream of at most 1,800,000 bits.\n"
        "\n"
        "run      runs a job parameter file. Its SOURCE_FILE is looked up in the folder\n"
        "         still/ beside it; the stream is written beside it, named after it up\n"
        "         to its first \".tp\", plus \".ts\" (menu1.tp gives menu1.ts).\n"
        "         --stream PATH  writes the stream to PATH instead; nothing is written\n"
        "                        beside the job file, and PATH appears only when the\n"
        "                        job has finished.\n"
        "encode   codes a picture without a job parameter file: the settings come\n"
        "         from the options, the stream goes to OUT. OUT is written only when\n"
        "         the job has finished.\n"
        "         --target BITS     size to aim at (160000 to 1800000; smaller only\n"
        "                           with --progressive-still)\n"
        "         --standard S      pal (576 or 288, 144, 80 rows) or ntsc (480 or\n"
        "                           240, 112, 64 rows)\n"
        "         --aspect A        4:3, or 16:9 (720 or 704 wide, 480 or 576 rows)\n"
        "         --pan-scan V      16:9 picture with a 4:3 pan-scan window, centred\n"
        "                           V/16 samples right of the middle (720/704 wide)\n"
        "\n"
        "Options of both:\n"
        "  --extended           search the quantiser matrix more thoroughly (slower)\n"
        "  --progressive-still  progressive sequence, and no lower bound on the target\n"
        "  --levels L           how RGB maps to Y/Cb/Cr: video (default; 16-235),\n"
        "                       full (full-range RGB into 16-235), full-wide (5-250)\n"
        "  --quiet, -q          no progress and no summary; errors only\n"
        "\n"
        "While a job runs its progress is shown on standard error. Ctrl-C asks the\n"
        "job to stop at its next stage (a second Ctrl-C ends pictor at once).\n"
        "\n"
        "Exit status: 0 finished, 1 failed (the reasons are printed), 2 cancelled,\n"
        "64 wrong arguments.\n"
        "\n"
        "Examples:\n"
        "  pictor run examples/astronaut.tp\n"
        "  pictor run /proj/menu1.tp --stream /out/menu1.m2v --extended\n"
        "  pictor encode photo.tif -o photo.m2v --target 1200000 --standard pal --aspect 4:3\n"
        "  pictor encode wide.tif -o wide.m2v --target 900000 --standard ntsc \\\n"
        "      --aspect 16:9 --pan-scan -320\n",
        to);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        PrintHelp(stdout);
        return kExitFinished;
    }
    if (command == "--version") {
        std::printf("pictor %s\n", PICTOR_VERSION_STRING);
        return kExitFinished;
    }
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintHelp(stdout);
            return kExitFinished;
        }
    }
    if (command == "run") return CommandRun(argc - 2, argv + 2);
    if (command == "encode") return CommandEncode(argc - 2, argv + 2);
    return UsageError("unknown command '" + command + "'");
}
