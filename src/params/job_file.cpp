#include "params/job_file.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "messages/codes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "params/job_switches.h"
#include "params/settings.h"
#include "runtime/registry.h"

namespace {

constexpr int kLineBytes = kJobLineBytes;

// Copies the word that starts at or after `from` into `word` (at most 255
// characters, as a line holds no more); returns where the word ends.
const char* NextWord(const char* from, char* word) {
    while (*from != '\0' && IsJobFileBlank(*from)) ++from;
    int n = 0;
    while (*from != '\0' && !IsJobFileBlank(*from) && n < kLineBytes - 1) word[n++] = *from++;
    word[n] = '\0';
    return from;
}

void ReadPanScan(const char* value, JobParameters* job) {
    if (std::strcmp(value, "ON") == 0) {
        job->panScanOn = 1;
    } else if (std::strcmp(value, "OFF") == 0) {
        job->panScanOn = 0;
    } else {
        job->failed = 1;
        if (!job->seenPanScan) Report<kMsgInvalidPanScan>(value, tMessageNames->jobFileName);
    }
    job->seenPanScan = 1;
}

void ReadFrameRate(const char* value, JobParameters* job) {
    if (std::strcmp(value, "PAL") == 0) {
        job->standard = kStandardPal;
    } else if (std::strcmp(value, "NTSC") == 0) {
        job->standard = kStandardNtsc;
    } else {
        job->failed = 1;
        if (!job->seenFrameRate) Report<kMsgInvalidFrameRate>(value, tMessageNames->jobFileName);
    }
    job->seenFrameRate = 1;
}

void ReadAspect(const char* value, JobParameters* job) {
    if (std::strcmp(value, "3:4") == 0 || std::strcmp(value, "4:3") == 0) {
        job->aspect = kAspect4x3;
    } else if (std::strcmp(value, "9:16") == 0 || std::strcmp(value, "16:9") == 0) {
        job->aspect = kAspect16x9;
    } else {
        job->failed = 1;
        if (!job->seenAspect) Report<kMsgInvalidAspect>(value, tMessageNames->jobFileName);
    }
    job->seenAspect = 1;
}

// Only the first TARGET_SIZE counts.
void ReadTarget(const char* value, JobParameters* job) {
    if (!job->seenTarget) {
        tSettings->Target =
            static_cast<int32_t>(TargetUsed(LeadingInteger(value), tSwitches->progressiveStill));
    }
    job->seenTarget = 1;
}

void ReadLine(const char* key, const char* value, JobParameters* job) {
    if (std::strcmp(key, "SOURCE_FILE") == 0) {
        std::snprintf(job->sourceName, sizeof job->sourceName, "%s", value);
        job->seenSource = 1;
    } else if (std::strcmp(key, "PAN_SCAN") == 0) {
        ReadPanScan(value, job);
    } else if (std::strcmp(key, "PAN_SCAN_VECTOR") == 0) {
        job->panScanVector = LeadingInteger(value);
        job->seenVector = 1;
    } else if (std::strcmp(key, "FRMRT") == 0) {
        ReadFrameRate(value, job);
    } else if (std::strcmp(key, "ASPECT_RATIO") == 0) {
        ReadAspect(value, job);
    } else if (std::strcmp(key, "TARGET_SIZE") == 0) {
        ReadTarget(value, job);
    }
}

// Reads every line; a line without words sets nothing. 0, or -1 without a line buffer.
int ReadJobFile(FILE* file, JobParameters* job) {
    char* line = static_cast<char*>(TrackedAlloc(kLineBytes, 1));
    if (line == nullptr) return -1;
    char key[kLineBytes];
    char value[kLineBytes];
    while (std::fgets(line, kLineBytes, file) != nullptr) {
        StripComment(line);
        const char* rest = NextWord(line, key);
        if (key[0] == '\0') continue;
        NextWord(rest, value);  // a key on its own has the empty value
        ReadLine(key, value, job);
    }
    TrackedFree(line);
    return 0;
}

// A null `workDir`: the source is the picture in memory, which needs no path.
void CheckPresence(const char* workDir, JobParameters* job) {
    const char* jobName = tMessageNames->jobFileName;
    if (!job->seenPanScan) {
        Report<kMsgPanScanMissing>(jobName);
        job->failed = 1;
    }
    if (!job->panScanOn && job->seenVector) {
        Report<kMsgPanScanVectorWhenOff>(jobName);
        job->failed = 1;
    }
    if (job->panScanOn && !job->seenVector) {
        Report<kMsgPanScanVectorMissing>(jobName);
        job->failed = 1;
    }
    if (job->panScanOn && job->aspect != kAspect16x9) {
        Report<kMsgPanScanAspect>(jobName);
        job->failed = 1;
    }
    if (!job->seenFrameRate) {
        Report<kMsgFrameRateMissing>(jobName);
        job->failed = 1;
    }
    if (!job->seenAspect) {
        Report<kMsgAspectMissing>(jobName);
        job->failed = 1;
    }
    if (!job->seenTarget) {
        Report<kMsgTargetMissing>(jobName);
        job->failed = 1;
    }
    if (!job->seenSource) {
        Report<kMsgSourceMissing>(jobName);
        job->failed = 1;
    } else if (workDir != nullptr) {
        std::snprintf(job->sourcePath, sizeof job->sourcePath, "%s/still/%s", workDir,
                      job->sourceName);
        if (SourceExists(job->sourcePath) != 0) {
            Report<kMsgCannotOpenSource>(job->sourcePath);
            job->failed = 1;
        }
    }
}

void StartJobParameters(JobParameters* job) {
    *job = JobParameters{};
    job->standard = kStandardUnset;
    job->aspect = kAspect4x3;
}

}  // namespace

int ReadJobParameters(const char* workDir, const char* jobFilePath, JobParameters* job) {
    StartJobParameters(job);
    FILE* file = nullptr;
    if (OpenOrReport(jobFilePath, "r", &file) != 0) return -1;
    if (ReadJobFile(file, job) != 0) return -1;
    CheckPresence(workDir, job);
    TrackedClose(file);
    return 0;
}

void ReadJobWords(const JobWord* words, int count, const char* sourceName, JobParameters* job) {
    StartJobParameters(job);
    for (int i = 0; i < count; ++i) ReadLine(words[i].key, words[i].value, job);
    std::snprintf(job->sourceName, sizeof job->sourceName, "%s", sourceName);
    std::snprintf(job->sourcePath, sizeof job->sourcePath, "%s", sourceName);
    job->seenSource = 1;
    CheckPresence(nullptr, job);
}

bool IsJobFileBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int64_t TargetUsed(int64_t asRead, bool progressiveStill) {
    if (asRead > kMaxPictureBits) return kMaxPictureBits;
    // A progressive still may be coded as small as the caller asks.
    if (asRead < kMinTarget && !progressiveStill) return kMinTarget;
    return asRead;
}

int32_t LeadingInteger(const char* value, const char** end) {
    char* stop = nullptr;
    const long long v = std::strtoll(value, &stop, 10);
    if (end != nullptr) *end = stop;
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

void StripComment(char* line) {
    for (int i = 0; i < kLineBytes && line[i] != '\0'; ++i) {
        if (line[i] == kCommentMark) {
            line[i] = '\0';
            return;
        }
    }
}

int SourceExists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 ? 0 : -1;
}
