// What the command adds to a job's own messages: warnings about how the job
// file will be read, and hints when the library's words leave the cause out.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "cli_hints.h"
#include "door/library_door.h"
#include "media/picture_input.h"

namespace {

const char* const kKeys[] = {"SOURCE_FILE",  "TARGET_SIZE", "FRMRT",
                             "ASPECT_RATIO", "PAN_SCAN",    "PAN_SCAN_VECTOR"};

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return s;
}

bool ValidValue(const std::string& key, const std::string& value) {
    if (key == "FRMRT") return value == "PAL" || value == "NTSC";
    if (key == "PAN_SCAN") return value == "ON" || value == "OFF";
    if (key == "ASPECT_RATIO")
        return value == "4:3" || value == "3:4" || value == "16:9" || value == "9:16";
    return true;
}

// "1.2M" or "900k" as a whole number of bits, or "" when it reads as none.
std::string BitsMeant(const std::string& value) {
    char* end = nullptr;
    double bits = std::strtod(value.c_str(), &end);
    if (end == value.c_str()) return "";
    if (*end == 'k' || *end == 'K') {
        bits *= 1e3;
        ++end;
    } else if (*end == 'm' || *end == 'M') {
        bits *= 1e6;
        ++end;
    }
    if (*end != '\0' || !(bits >= 1 && bits <= 1e9)) return "";
    return std::to_string(std::llround(bits));
}

// The library's codes for a picture it cannot open or read (10 to 19) or
// whose size does not suit the job's settings (43 to 46).
bool IsPictureCode(int code) { return (code >= 10 && code <= 19) || (code >= 43 && code <= 46); }

// The codes of the error text's lines, "Pictor error N: ...".
std::vector<int> ErrorCodes(const std::string& errorText) {
    static const char kLead[] = "Pictor error ";
    std::vector<int> codes;
    for (size_t at = 0; at < errorText.size();) {
        size_t end = errorText.find('\n', at);
        if (end == std::string::npos) end = errorText.size();
        if (errorText.compare(at, std::strlen(kLead), kLead) == 0)
            codes.push_back(std::atoi(errorText.c_str() + at + std::strlen(kLead)));
        at = end + 1;
    }
    return codes;
}

std::string At(const std::string& jobFile, const JobFileLine& line) {
    return jobFile + " line " + std::to_string(line.number) + ": ";
}

std::string TargetWarning(const std::string& jobFile, const JobFileLine& line,
                          const JobFlags& flags) {
    bool whole = false;
    const long long read = rules::LeadingInteger(line.value, &whole);
    const long long used = rules::TargetUsed(read, flags.progressiveStill == 1);
    std::string text = "warning: " + At(jobFile, line);
    if (!whole) {
        text += "TARGET_SIZE '" + line.value + "' is read as " + std::to_string(read) +
                " (its leading digits); the job aims at " + std::to_string(used) + " bits";
        const std::string meant = BitsMeant(line.value);
        return meant.empty() ? text : text + "; write the bits in full (" + meant + ")";
    }
    if (used == read) return "";
    return text + "TARGET_SIZE " + std::to_string(read) +
           (read > used ? " is above the largest target"
                        : " is below the smallest target without --progressive-still") +
           "; the job aims at " + std::to_string(used) + " bits";
}

}  // namespace

std::vector<std::string> JobFileWarnings(const std::string& jobFile,
                                         const std::vector<JobFileLine>& lines,
                                         const JobFlags& flags) {
    std::vector<std::string> notes;
    const JobFileLine* firstTarget = nullptr;
    for (const JobFileLine& line : lines) {
        if (line.key == "TARGET_SIZE" && firstTarget == nullptr) {
            firstTarget = &line;
            const std::string warning = TargetWarning(jobFile, line, flags);
            if (!warning.empty()) notes.push_back(warning);
        } else if (line.key == "TARGET_SIZE") {
            notes.push_back("warning: " + At(jobFile, line) +
                            "a second TARGET_SIZE is not read; the first (line " +
                            std::to_string(firstTarget->number) + ") counts");
        } else if (line.key == "PAN_SCAN_VECTOR") {
            bool whole = false;
            const int32_t read = rules::LeadingInteger(line.value, &whole);
            if (!whole) {
                notes.push_back("warning: " + At(jobFile, line) + "PAN_SCAN_VECTOR '" + line.value +
                                "' is read as " + std::to_string(read));
            }
        }
        for (const char* key : kKeys) {
            if (line.key != key && Upper(line.key) == key) {
                notes.push_back("hint: " + At(jobFile, line) + "'" + line.key +
                                "' is not read: keys are upper case (" + key + ")");
            }
        }
        if (!ValidValue(line.key, line.value) && ValidValue(line.key, Upper(line.value))) {
            notes.push_back("hint: " + At(jobFile, line) + line.key + " takes " +
                            Upper(line.value) + " in capitals");
        }
    }
    return notes;
}

std::string SilentFailureHint(const std::string& jobFile, const std::vector<JobFileLine>& lines) {
    // An invalid value is named only on its key's first line; a later one
    // fails the job without a word.
    for (size_t i = 0; i < lines.size(); ++i) {
        const JobFileLine& line = lines[i];
        if (ValidValue(line.key, line.value)) continue;
        for (size_t j = 0; j < i; ++j) {
            if (lines[j].key != line.key) continue;
            return "hint: " + At(jobFile, line) + line.key + " '" + line.value +
                   "' is not valid; it fails the job, but only the value of the first " + line.key +
                   " line (line " + std::to_string(lines[j].number) + ") is named";
        }
    }
    return "hint: check " + jobFile +
           ": a key repeated with an invalid value fails the job without a message";
}

std::vector<std::string> RefusalHints(const std::string& errorText, const PreparedJob& job) {
    bool pictureRefused = false;
    for (int code : ErrorCodes(errorText)) pictureRefused = pictureRefused || IsPictureCode(code);
    if (!pictureRefused) return {};
    if (!job.pictureRefusal.empty()) return {job.pictureRefusal};
    if (job.refusedPicture.empty()) return {};
    const std::string explained = ExplainTiffRefusal(job.refusedPicture);
    if (explained.empty()) return {};
    return {"hint: " + explained};
}
