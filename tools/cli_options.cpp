// The command line: one table of options drives both the parser and --help.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli.h"
#include "door/library_door.h"
#include "media/picture_input.h"

namespace {

// Which subcommands take an option; kGeneral ones are answered before any job.
constexpr unsigned kRun = 1;
constexpr unsigned kEncode = 2;
constexpr unsigned kBoth = kRun | kEncode;
constexpr unsigned kGeneral = 4;

// Stores an option's value (nullptr for a switch); returns what is wrong with it, or "".
using Apply = std::string (*)(CommandLine* line, const char* value);

struct Option {
    const char* name;   // "--output"
    char letter;        // 'o' for -o, or 0
    const char* value;  // "OUT", or nullptr for a switch
    unsigned commands;
    const char* help;  // lines of the help text, '\n' between them
    Apply apply;
};

bool ParseInteger(const std::string& text, long long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
    *value = v;
    return true;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return s;
}

std::string SetStream(CommandLine* line, const char* value) {
    if (*value == '\0') return "--stream needs a path";
    line->stream = value;
    return "";
}

std::string SetOutput(CommandLine* line, const char* value) {
    if (*value == '\0') return "-o needs a path";
    line->output = value;
    return "";
}

std::string SetTarget(CommandLine* line, const char* value) {
    if (!ParseInteger(value, &line->encode.target))
        return std::string("--target takes a number of bits, not '") + value + "'";
    line->encode.targetGiven = true;
    return "";
}

std::string SetStandard(CommandLine* line, const char* value) {
    line->encode.standard = Upper(value);
    if (line->encode.standard == "PAL" || line->encode.standard == "NTSC") return "";
    return std::string("--standard takes pal or ntsc, not '") + value + "'";
}

std::string SetAspect(CommandLine* line, const char* value) {
    line->encode.aspect = value;
    if (line->encode.aspect == "4:3" || line->encode.aspect == "16:9") return "";
    return std::string("--aspect takes 4:3 or 16:9, not '") + value + "'";
}

std::string SetPanScan(CommandLine* line, const char* value) {
    if (!ParseInteger(value, &line->encode.panScanVector))
        return std::string("--pan-scan takes an offset in 1/16 samples, not '") + value + "'";
    line->encode.panScan = true;
    return "";
}

// The level modes by what they expect of the picture; "full" and "full-wide"
// are their older names.
std::string SetLevels(CommandLine* line, const char* value) {
    const std::string mode = value;
    if (mode == "video") {
        line->flags.levelMode = 0;
    } else if (mode == "studio" || mode == "full") {
        line->flags.levelMode = 2;
    } else if (mode == "studio-wide" || mode == "full-wide") {
        line->flags.levelMode = 1;
    } else {
        return "--levels takes video, studio or studio-wide, not '" + mode + "'";
    }
    return "";
}

std::string SetJobs(CommandLine* line, const char* value) {
    constexpr long long kMostJobs = 256;
    long long jobs = 0;
    if (!ParseInteger(value, &jobs) || jobs < 1 || jobs > kMostJobs)
        return std::string("-j takes a number of jobs from 1 to 256, not '") + value + "'";
    line->jobs = static_cast<int>(jobs);
    return "";
}

std::string SetOutDir(CommandLine* line, const char* value) {
    if (*value == '\0') return "--out-dir needs a folder";
    line->outDir = value;
    return "";
}

std::string SetFit(CommandLine* line, const char* value) {
    if (!ParseFitMode(value, &line->encode.fitMode))
        return std::string("--fit takes pad, crop or stretch, not '") + value + "'";
    line->encode.fit = true;
    return "";
}

std::string SetBackground(CommandLine* line, const char* value) {
    if (ParseColour(value, &line->encode.background)) return "";
    return std::string("--background takes black, white, grey or #RRGGBB, not '") + value + "'";
}

std::string SetPreview(CommandLine* line, const char* value) {
    if (*value == '\0' || std::strcmp(value, "-") == 0) return "--preview needs a file";
    line->preview = value;
    return "";
}

std::string SetJson(CommandLine* line, const char* value) {
    if (*value == '\0') return "--json needs a file, or - for standard output";
    line->json = value;
    return "";
}

const Option kOptions[] = {
    {"--stream", 0, "PATH", kRun, "write the stream to PATH instead (- for standard output)",
     SetStream},
    {"--output", 'o', "OUT", kEncode,
     "where the stream of one picture goes (- for standard\noutput)", SetOutput},
    {"--out-dir", 0, "DIR", kEncode,
     "where the streams go, each named after its picture\nwith .m2v", SetOutDir},
    {"--target", 0, "BITS", kEncode,
     "size to aim at (160000 to 1800000; smaller only\n"
     "with --progressive-still)",
     SetTarget},
    {"--standard", 0, "S", kEncode,
     "pal (576 or 288, 144, 80 rows) or ntsc (480 or\n"
     "240, 112, 64 rows)",
     SetStandard},
    {"--aspect", 0, "A", kEncode, "4:3, or 16:9 (720 or 704 wide, 480 or 576 rows)", SetAspect},
    {"--pan-scan", 0, "V", kEncode,
     "16:9 picture that also carries a 4:3 pan-scan window\n"
     "(720/704 wide); V is its frame centre offset in 1/16\n"
     "samples (-320: 20 samples)",
     SetPanScan},
    {"--fit", 0, "MODE", kEncode,
     "scale a picture of a size the job does not take into\n"
     "the frame (720x576 or 720x480) at its display aspect:\n"
     "pad: all of it, bars of black beside or above it\n"
     "crop: fills the frame, the edges cut off\n"
     "stretch: fills the frame, its aspect ignored",
     SetFit},
    {"--background", 0, "COLOUR", kEncode,
     "what shows through transparent parts: black (the\n"
     "default), white, grey or #RRGGBB",
     SetBackground},
    {"--extended", 0, nullptr, kBoth, "search the quantiser matrix more thoroughly (slower)",
     [](CommandLine* line, const char*) {
         line->flags.extendedAnalysis = 1;
         return std::string();
     }},
    {"--progressive-still", 0, nullptr, kBoth,
     "progressive sequence, and no lower bound on the target",
     [](CommandLine* line, const char*) {
         line->flags.progressiveStill = 1;
         return std::string();
     }},
    {"--levels", 0, "L", kBoth,
     "what the picture's RGB levels are:\n"
     "video: RGB 0-255, the usual; black 0 and white 255\n"
     "  become video black 16 and white 235 (the default)\n"
     "studio: RGB already at video levels (black 16, white\n"
     "  235), taken as it is; below 16 and above 235 clipped\n"
     "studio-wide: RGB already at video levels, taken as it\n"
     "  is; under- and overshoots kept from 5 to 250\n"
     "(full and full-wide are older names of the last two)",
     SetLevels},
    {"--jobs", 'j', "N", kBoth, "code N inputs at once (default: one per processor)", SetJobs},
    {"--quiet", 'q', nullptr, kBoth, "no progress and no summary; errors only",
     [](CommandLine* line, const char*) {
         line->quiet = true;
         return std::string();
     }},
    {"--short", 0, nullptr, kBoth, "the summary of each stream in one line",
     [](CommandLine* line, const char*) {
         line->shortSummary = true;
         return std::string();
     }},
    {"--json", 0, "FILE|-", kBoth,
     "the summary of every job as JSON, one object per job\n"
     "and line, into FILE (- for standard output)",
     SetJson},
    {"--preview", 0, "FILE", kBoth,
     "write the decoded picture to FILE as PNG (720 samples\n"
     "across, as stored; one input only)",
     SetPreview},
    {"--no-measure", 0, nullptr, kBoth,
     "do not decode the stream to measure its quality (a\n"
     "720x576 job then takes about a third less time)",
     [](CommandLine* line, const char*) {
         line->measure = false;
         return std::string();
     }},
    {"--no-clobber", 'n', nullptr, kBoth, "never replace an existing file or pipe",
     [](CommandLine* line, const char*) {
         line->noClobber = true;
         return std::string();
     }},
    {"--help", 'h', nullptr, kGeneral, "this text",
     [](CommandLine* line, const char*) {
         line->help = true;
         return std::string();
     }},
    {"--version", 0, nullptr, kGeneral, "the version of pictor",
     [](CommandLine* line, const char*) {
         line->version = true;
         return std::string();
     }},
};

// The option `arg` names ("--name", "--name=value", "-x", "-xvalue"), or nullptr;
// `attached` gets a value given in the same argument.
const Option* FindOption(const char* arg, const char** attached) {
    *attached = nullptr;
    for (const Option& option : kOptions) {
        const size_t length = std::strlen(option.name);
        if (std::strncmp(arg, option.name, length) == 0) {
            if (arg[length] == '\0') return &option;
            if (arg[length] == '=' && option.value != nullptr) {
                *attached = arg + length + 1;
                return &option;
            }
        }
        if (option.letter != 0 && arg[0] == '-' && arg[1] == option.letter) {
            if (arg[2] == '\0') return &option;
            if (option.value != nullptr) {
                *attached = arg + 2;
                return &option;
            }
        }
    }
    return nullptr;
}

const char* CommandName(Command command) {
    return command == Command::kRun ? "run" : command == Command::kEncode ? "encode" : "pictor";
}

unsigned CommandBit(Command command) {
    return command == Command::kRun ? kRun : command == Command::kEncode ? kEncode : 0;
}

// The options of one group, each as "  -x, --name VALUE  help", help lines aligned.
void PrintOptions(FILE* to, unsigned commands) {
    constexpr int kHelpColumn = 24;
    for (const Option& option : kOptions) {
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

// Checks what a subcommand needs once every argument has been read.
std::string Complete(CommandLine* line) {
    if (line->help || line->version) return "";
    const bool streamOut = line->stream == "-" || line->output == "-";
    if (streamOut && line->json == "-")
        return "standard output cannot carry both the stream and the JSON summary";
    if (!line->preview.empty() && line->inputs.size() > 1)
        return "--preview takes one input; a batch has no single picture to preview";
    if (line->command == Command::kRun) {
        if (line->inputs.empty()) return "run needs a job parameter file";
        if (line->inputs.size() > 1 && !line->stream.empty())
            return "--stream takes one job parameter file; several write beside theirs";
        return "";
    }
    EncodeSettings& e = line->encode;
    if (line->inputs.empty()) return "encode needs a picture";
    if (!line->output.empty() && !line->outDir.empty()) return "encode takes -o or --out-dir";
    if (line->inputs.size() > 1 && !line->output.empty())
        return "-o takes one picture; --out-dir DIR takes several";
    if (line->output.empty() && line->outDir.empty())
        return "encode needs -o OUT or --out-dir DIR for the stream";
    if (!e.targetGiven) return "encode needs --target BITS (160000 to 1800000)";
    if (e.standard.empty()) return "encode needs --standard pal or ntsc";
    if (e.aspect.empty()) return "encode needs --aspect 4:3 or 16:9";
    if (e.panScan && e.aspect != "16:9") return "--pan-scan needs --aspect 16:9";
    return "";
}

}  // namespace

int UsageError(const std::string& message) {
    std::fprintf(stderr, "pictor: %s\nTry 'pictor --help' for the ways to call it.\n",
                 message.c_str());
    return kExitUsage;
}

int ParseCommandLine(int argc, char** argv, CommandLine* line) {
    int next = 1;
    if (argc > 1 && std::strcmp(argv[1], "run") == 0) line->command = Command::kRun;
    if (argc > 1 && std::strcmp(argv[1], "encode") == 0) line->command = Command::kEncode;
    if (line->command != Command::kNone) next = 2;
    if (argc > 1 && std::strcmp(argv[1], "help") == 0) {
        line->help = true;
        next = 2;
    }
    bool optionsEnd = false;
    for (; next < argc; ++next) {
        const char* arg = argv[next];
        if (optionsEnd || arg[0] != '-' || arg[1] == '\0') {
            if (line->command == Command::kNone)
                return UsageError(std::string("unknown command '") + arg + "'");
            line->inputs.push_back(arg);
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            optionsEnd = true;
            continue;
        }
        const char* value = nullptr;
        const Option* option = FindOption(arg, &value);
        if (option == nullptr || (option->commands & (CommandBit(line->command) | kGeneral)) == 0)
            return UsageError(std::string(CommandName(line->command)) + ": unknown option '" + arg +
                              "'");
        if (option->value != nullptr && value == nullptr) {
            if (next + 1 >= argc) return UsageError(std::string(option->name) + " needs a value");
            value = argv[++next];
        }
        const std::string wrong = option->apply(line, value != nullptr ? value : "");
        if (!wrong.empty()) return UsageError(wrong);
    }
    if (line->command == Command::kNone && !line->help && !line->version) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    const std::string missing = Complete(line);
    return missing.empty() ? 0 : UsageError(missing);
}

void PrintHelp(FILE* to) {
    std::fputs(
        "Usage: pictor run JOBFILE... [--stream PATH] [OPTIONS]\n"
        "       pictor encode PICTURE... -o OUT|--out-dir DIR --target BITS\n"
        "                     --standard pal|ntsc --aspect 4:3|16:9 [--pan-scan V]\n"
        "                     [--fit pad|crop|stretch] [OPTIONS]\n"
        "       pictor --help | --version\n"
        "\n"
        "Codes still pictures (720, 704, 352, 176 or 96 samples wide; 480, 576, 240,\n"
        "288, 112, 64, 144 or 80 rows high; other sizes with --fit), each into one\n"
        "intra frame of an MPEG-2 Main Profile @ Main Level video elementary stream\n"
        "of at most 1,800,000 bits.\n"
        "\n"
        "pictor run runs a job parameter file. Its SOURCE_FILE is looked up in the\n"
        "folder still/ beside it; the stream is written beside it, named after the\n"
        "file up to its first \".tp\", plus \".ts\" (disc.tpl/menu1.tp gives\n"
        "disc.tpl/menu1.ts).\n",
        to);
    PrintOptions(to, kRun);
    std::fputs(
        "\n"
        "pictor encode codes pictures without a job parameter file: the settings\n"
        "come from the options. It reads TIFF (any form), PNG and JPEG: a TIFF the\n"
        "library reads as it is goes to it untouched; any other picture is decoded\n"
        "and handed over as an uncompressed RGB TIFF, alpha over --background.\n"
        "A picture of another size is refused unless --fit scales it into the frame\n"
        "(pixel aspect: PAL 4:3 59:54, 16:9 118:81; NTSC 4:3 10:11, 16:9 40:33).\n",
        to);
    PrintOptions(to, kEncode);
    std::fputs("\nOptions of both:\n", to);
    PrintOptions(to, kBoth);
    PrintOptions(to, kGeneral);
    std::fputs(
        "\n"
        "The stream appears only when the job has finished: it is written to a\n"
        "temporary file beside the destination, checked, and renamed over it. A\n"
        "symbolic link keeps pointing at the new stream; a named pipe or a\n"
        "character device is written straight through, and - is standard output\n"
        "(the summary then goes to standard error). The job's own picture and job\n"
        "file are never replaced.\n"
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
        "      --aspect 16:9 --pan-scan -320\n",
        to);
}
