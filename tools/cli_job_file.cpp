// A job parameter file read as the library reads it, for what the command
// says before and after the job.
#include <cstdio>
#include <cstring>

#include "cli_job_file.h"
#include "door/library_door.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The word at or after `at`; `at` moves past it.
std::string NextWord(const char** at) {
    const char* p = *at;
    while (*p != '\0' && IsBlank(*p)) ++p;
    const char* start = p;
    while (*p != '\0' && !IsBlank(*p)) ++p;
    *at = p;
    return std::string(start, static_cast<size_t>(p - start));
}

}  // namespace

bool ReadJobFileLines(const std::string& path, std::vector<JobFileLine>* lines) {
    FILE* in = std::fopen(path.c_str(), "r");
    if (in == nullptr) return false;
    char piece[rules::kMaxLineChars + 1];
    int number = 1;
    while (std::fgets(piece, sizeof piece, in) != nullptr) {
        const bool lineEnds = std::strchr(piece, '\n') != nullptr;
        char* hash = std::strchr(piece, '#');
        if (hash != nullptr) *hash = '\0';
        const char* at = piece;
        JobFileLine line;
        line.number = number;
        line.key = NextWord(&at);
        line.value = NextWord(&at);
        if (!line.key.empty()) lines->push_back(line);
        if (lineEnds) ++number;
    }
    std::fclose(in);
    return true;
}

bool JobTarget(const std::vector<JobFileLine>& lines, const JobFlags& flags, long long* target) {
    for (const JobFileLine& line : lines) {
        if (line.key != "TARGET_SIZE") continue;
        bool whole = false;
        *target = rules::TargetUsed(rules::LeadingInteger(line.value, &whole),
                                    flags.progressiveStill == 1);
        return true;
    }
    return false;
}
