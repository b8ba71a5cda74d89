// What the library does with a job that the command must know before or after
// the job runs. The library is not asked: these are its rules, restated here
// once, each with the reason the command needs it.
#ifndef PICTOR_TOOLS_LIBRARY_RULES_H
#define PICTOR_TOOLS_LIBRARY_RULES_H

#include <cstdint>
#include <cstdlib>
#include <string>

#include "pictor/pictor.h"

namespace rules {

// Target clamp. TARGET_SIZE is limited to these bounds before coding (the lower
// one only without progressive still); the summary measures the stream against
// the target really used, and the command warns when the job file's differs.
constexpr long long kMaxTarget = 1800000;  // no stream may take more bits
constexpr long long kMinTarget = 160000;

inline long long TargetUsed(long long asRead, bool progressiveStill) {
    if (asRead > kMaxTarget) return kMaxTarget;
    if (asRead < kMinTarget && !progressiveStill) return kMinTarget;
    return asRead;
}

// Numbers in a job file (TARGET_SIZE, PAN_SCAN_VECTOR) are read as their leading
// decimal integer: "1.2M" is 1, no digits give 0, values beyond 32 bits saturate.
// The command reads them the same way to know what the job will do, and tells
// whether anything was left unread (`whole`).
inline int32_t LeadingInteger(const std::string& value, bool* whole) {
    char* end = nullptr;
    long long v = std::strtoll(value.c_str(), &end, 10);
    *whole = !value.empty() && *end == '\0';
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// Stem rule. The stream (stem + ".ts") and the picture name in messages
// (stem + ".tif") come from the job file path cut at its first ".tp", searched
// over the whole path, folders included ("disc.tpl/menu.tp" gives "disc").
// The command runs jobs in private folders free of ".tp" and applies the rule
// to the job file's own name only, so streams land beside their job files.
inline std::string Stem(const std::string& jobFilePath) {
    const size_t cut = jobFilePath.find(".tp");
    return cut == std::string::npos ? jobFilePath : jobFilePath.substr(0, cut);
}

// Path limits. The job file path (workDir + "/" + jobFileName) may have at most
// 256 characters; a longer one fails with code 47 before anything is read or
// written, so the command lets the library refuse such a job where it lies.
// A private folder's path must leave room for the job file's name within the
// limit too. The context's fields hold 2079 and 263 characters.
constexpr size_t kMaxJobFilePath = 256;
constexpr size_t kMaxWorkDir = sizeof(JobContext::workDir) - 1;
constexpr size_t kMaxJobFileName = sizeof(JobContext::jobFileName) - 1;

// Job file lines. A line is read in pieces of at most 255 characters; "#" starts
// a comment; a value is one word, keys and values are compared exactly. A name
// the command writes into a job file must therefore be one word without "#";
// the command also keeps ".tp" out of it (the stem rule) and keeps it short.
constexpr size_t kMaxLineChars = 255;
constexpr size_t kMaxWrittenName = 200;

inline bool NameFitsJobFile(const std::string& name) {
    if (name.empty() || name.size() > kMaxWrittenName) return false;
    if (name.find(".tp") != std::string::npos) return false;
    for (char c : name) {
        if (c == '#' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')
            return false;
    }
    return true;
}

}  // namespace rules

#endif
