// The table of options: each option's names, value, subcommands, help and the step that
// stores it.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cli_option_table.h"
#include "media/fit.h"
#include "media/picture_input.h"

namespace {

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
        return std::string("--fit takes pad, crop, stretch or none, not '") + value + "'";
    line->encode.fit = true;
    return "";
}

std::string SetBackground(CommandLine* line, const char* value) {
    if (ParseColour(value, &line->encode.background)) return "";
    return std::string("--background takes black, white, grey or #RRGGBB, not '") + value + "'";
}

std::string SetFormat(CommandLine* line, const char* value) {
    line->format = value;
    if (line->format == "es" || line->format == "dvd") return "";
    return std::string("--format takes es or dvd, not '") + value + "'";
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
     "where the streams go, each named after its picture\nwith .m2v (made when missing)",
     SetOutDir},
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
     "how a picture of a size the job does not take is\n"
     "scaled into the frame (720x576 or 720x480):\n"
     "pad (the default): all of it at its display aspect,\n"
     "bars of black beside or above it\n"
     "crop: fills the frame, the edges cut off\n"
     "stretch: fills the frame, its aspect ignored\n"
     "none: refused, naming the sizes the job takes",
     SetFit},
    {"--deflicker", 0, nullptr, kEncode,
     "soften one-pixel horizontal lines, which flicker on an\n"
     "interlaced display: each row becomes a [1 2 1]/4 blend\n"
     "with the rows above and below (a picture taken as it\n"
     "is is then converted)",
     [](CommandLine* line, const char*) {
         line->encode.deflicker = true;
         return std::string();
     }},
    {"--background", 0, "COLOUR", kEncode,
     "what shows through transparent parts: black (the\n"
     "default), white, grey or #RRGGBB",
     SetBackground},
    {"--format", 0, "F", kBoth,
     "es: the video elementary stream (the default, and\n"
     "  for .m2v, .mpv and any other name)\n"
     "dvd: an MPEG-2 program stream for DVD authoring (the\n"
     "  default for .mpg and .vob)",
     SetFormat},
    {"--silent-audio", 0, nullptr, kBoth,
     "give the program stream a silent audio track (AC-3,\n"
     "48 kHz stereo) as long as the still, for players that\n"
     "want one",
     [](CommandLine* line, const char*) {
         line->silentAudio = true;
         return std::string();
     }},
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
    {"--short", 0, nullptr, kBoth, "one line for each job, its summary; no progress",
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
    {"--safe-area", 0, nullptr, kBoth,
     "with --preview: outline the action-safe (90%, grey)\n"
     "and title-safe (80%, yellow) areas of the display\n"
     "area (702 or 704 samples across, all lines)",
     [](CommandLine* line, const char*) {
         line->safeArea = true;
         return std::string();
     }},
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

}  // namespace

OptionTable Options() { return {kOptions, sizeof kOptions / sizeof kOptions[0]}; }
