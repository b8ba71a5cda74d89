// pictor --help: the text around the table's options, group by group.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli_help.h"
#include "cli_option_table.h"

namespace {

// The options of one group, each as "  -x, --name VALUE  help", help lines aligned.
void PrintOptions(FILE* to, unsigned commands) {
    constexpr int kHelpColumn = 24;
    for (const Option& option : Options()) {
        if (option.commands != commands) continue;
        std::string names = option.letter != 0 ? std::string("-") + option.letter + ", " : "";
        names += option.name;
        if (option.value != nullptr) names += std::string(" ") + option.value;
        std::fprintf(to, "  %-*s", kHelpColumn - 3, names.c_str());
        if (names.size() > kHelpColumn - 3) std::fprintf(to, "\n%*s", kHelpColumn - 1, "");
        for (const char* line = option.help; *line != '\0';) {
            const char* end = std::strchr(line, '\n');
            const int length =
                end != nullptr ? static_cast<int>(end - line) : static_cast<int>(std::strlen(line));
            std::fprintf(to, " %.*s\n", length, line);
            if (end == nullptr) break;
            line = end + 1;
            std::fprintf(to, "%*s", kHelpColumn - 1, "");
        }
    }
}

// The ways to call pictor, what it codes, and pictor run.
const char kUsage[] =
    "Usage: pictor run JOBFILE... [--stream PATH] [OPTIONS]\n"
    "       pictor encode PICTURE... -o OUT|--out-dir DIR --target BITS\n"
    "                     --standard pal|ntsc --aspect 4:3|16:9 [--pan-scan V]\n"
    "                     [--fit pad|crop|stretch|none] [OPTIONS]\n"
    "       pictor --help | --version\n"
    "\n"
    "Codes still pictures (720, 704, 352, 176 or 96 samples wide; 480, 576, 240,\n"
    "288, 112, 64, 144 or 80 rows high; other sizes fitted), each into one\n"
    "intra frame of an MPEG-2 Main Profile @ Main Level video elementary stream\n"
    "of at most 1,800,000 bits.\n"
    "\n"
    "pictor run runs a job parameter file. Its SOURCE_FILE is looked up in the\n"
    "folder still/ beside it; the stream is written beside it, named after the\n"
    "file up to its first \".tp\", plus \".ts\" (disc.tpl/menu1.tp gives\n"
    "disc.tpl/menu1.ts).\n";

// pictor encode.
const char kEncodeText[] =
    "\n"
    "pictor encode codes pictures without a job parameter file: the settings\n"
    "come from the options. It reads TIFF, PNG, JPEG, GIF (the first frame),\n"
    "WebP, HEIF/HEIC and AVIF through libvips: a TIFF the library reads as it is\n"
    "goes to it untouched; any other picture is decoded, turned upright by its\n"
    "EXIF orientation, its colour profile converted to sRGB, and handed over as\n"
    "an uncompressed RGB TIFF, alpha over --background. A picture of another\n"
    "size is padded into the frame unless --fit says otherwise (pixel aspect:\n"
    "PAL 4:3 59:54, 16:9 118:81; NTSC 4:3 10:11, 16:9 40:33); the summary and\n"
    "--json say where it landed.\n";
const char kBothHeading[] = "\nOptions of both:\n";

// Where streams go, what the summary gives, batches, exit statuses, examples.
const char kClosing[] =
    "\n"
    "The stream appears only when the job has finished: it is written to a\n"
    "temporary file beside the destination, checked, and renamed over it. A\n"
    "symbolic link keeps pointing at the new stream; a named pipe or a\n"
    "character device is written straight through, and - is standard output\n"
    "(the summary then goes to standard error). The job's own picture and job\n"
    "file are never replaced.\n"
    "\n"
    "The stream's form follows the output's name: .mpg or .vob gives an MPEG-2\n"
    "program stream for DVD authoring (dvdauthor takes it as it is), any other\n"
    "name the video elementary stream; --format says it outright. A DVD\n"
    "multiplexer must start an elementary stream above 90 KB at least 200 ms\n"
    "ahead (mplex -f 8 -O 200ms).\n"
    "\n"
    "After each job the summary gives the stream's size against the target, the\n"
    "time, the quantiser range (from the slice headers) and the quality of the\n"
    "decoded stream against the Y/Cb/Cr planes that were coded: the PSNR of each\n"
    "and their 6:1:1 average, and the SSIM of Y.\n"
    "\n"
    "Several inputs are coded as a batch, -j at a time, each in a process of its\n"
    "own. Progress is shown on standard error, and a summary of every stream\n"
    "on standard output (on standard error when standard output carries the\n"
    "stream or the JSON). Ctrl-C cancels the running jobs at their next stage\n"
    "and starts no other (a second Ctrl-C ends pictor at once).\n"
    "\n"
    "Exit status: 0 every job finished, 1 a job failed (the reasons are\n"
    "printed), 2 cancelled (this outweighs a failure), 64 wrong arguments.\n"
    "\n"
    "Examples:\n"
    "  pictor run examples/astronaut.tp\n"
    "  pictor run /proj/menu1.tp --stream /out/menu1.m2v --extended\n"
    "  pictor run -j 2 --json report.json /proj/*.tp\n"
    "  pictor encode photo.tif -o photo.m2v --target 1200000 --standard pal --aspect 4:3\n"
    "  pictor encode *.png --out-dir menus --target 900000 --standard pal --aspect 4:3\n"
    "  pictor encode photo.jpg -o photo.m2v --target 1200000 --standard pal \\\n"
    "      --aspect 16:9 --fit pad --preview photo-check.png\n"
    "  pictor encode menu.png -o - --target 900000 --standard ntsc --aspect 4:3 |\n"
    "      ffmpeg -i - menu.mpg\n"
    "  pictor encode wide.tif -o wide.m2v --target 900000 --standard ntsc \\\n"
    "      --aspect 16:9 --pan-scan -320\n"
    "  pictor encode menu.png -o menu.mpg --target 1200000 --standard pal \\\n"
    "      --aspect 16:9 --fit pad --silent-audio\n";

// The help in order: each text, then the options of its group (0: none).
struct HelpPart {
    const char* text;
    unsigned options;
};
const HelpPart kHelp[] = {
    {kUsage, kRun}, {kEncodeText, kEncode}, {kBothHeading, kBoth}, {"", kGeneral}, {kClosing, 0}};

}  // namespace

void PrintHelp(FILE* to) {
    for (const HelpPart& part : kHelp) {
        std::fputs(part.text, to);
        if (part.options != 0) PrintOptions(to, part.options);
    }
}
