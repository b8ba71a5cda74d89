#include "params/job_file.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/job.h"
#include "api/job_driver.h"
#include "api/registry.h"
#include "convert/convert_source.h"
#include "messages/codes.h"
#include "messages/report.h"
#include "params/settings.h"
#include "tiff/tiff_detect.h"

namespace {

constexpr int kLineBytes = 256;  // a line is read in pieces of at most 255 characters
constexpr int kAspect4x3 = 2;
constexpr int kAspect16x9 = 3;

enum Standard { kStandardUnset, kStandardNtsc, kStandardPal };

// What the job parameter file said, and which keys it named at all.
struct JobFileValues {
    char sourceName[kLineBytes];
    int standard;
    int aspect;
    int panScanOn;
    int32_t panScanVector;
    int seenSource, seenTarget, seenFrameRate, seenAspect, seenPanScan, seenVector;
    int failed;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Copies the word that starts at or after `from` into `word` (at most 255
// characters, as a line holds no more); returns where the word ends.
const char* NextWord(const char* from, char* word) {
    while (*from != '\0' && IsBlank(*from)) ++from;
    int n = 0;
    while (*from != '\0' && !IsBlank(*from) && n < kLineBytes - 1) word[n++] = *from++;
    word[n] = '\0';
    return from;
}

// Leading decimal integer of a value; no digits give 0, values beyond 32 bits saturate.
int32_t LeadingInteger(const char* value) {
    long long v = std::strtoll(value, nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

void ReadLine(const char* key, const char* value, JobFileValues* job) {
    const char* jobName = gSwitches.jobFileName;
    if (std::strcmp(key, "SOURCE_FILE") == 0) {
        std::snprintf(job->sourceName, sizeof job->sourceName, "%s", value);
        job->seenSource = 1;
    } else if (std::strcmp(key, "PAN_SCAN") == 0) {
        if (std::strcmp(value, "ON") == 0) {
            job->panScanOn = 1;
        } else if (std::strcmp(value, "OFF") == 0) {
            job->panScanOn = 0;
        } else {
            job->failed = 1;
            if (!job->seenPanScan) ReportError(kMsgInvalidPanScan, value, jobName);
        }
        job->seenPanScan = 1;
    } else if (std::strcmp(key, "PAN_SCAN_VECTOR") == 0) {
        job->panScanVector = LeadingInteger(value);
        job->seenVector = 1;
    } else if (std::strcmp(key, "FRMRT") == 0) {
        if (std::strcmp(value, "PAL") == 0) {
            job->standard = kStandardPal;
        } else if (std::strcmp(value, "NTSC") == 0) {
            job->standard = kStandardNtsc;
        } else {
            job->failed = 1;
            if (!job->seenFrameRate) ReportError(kMsgInvalidFrameRate, value, jobName);
        }
        job->seenFrameRate = 1;
    } else if (std::strcmp(key, "ASPECT_RATIO") == 0) {
        if (std::strcmp(value, "3:4") == 0 || std::strcmp(value, "4:3") == 0) {
            job->aspect = kAspect4x3;
        } else if (std::strcmp(value, "9:16") == 0 || std::strcmp(value, "16:9") == 0) {
            job->aspect = kAspect16x9;
        } else {
            job->failed = 1;
            if (!job->seenAspect) ReportError(kMsgInvalidAspect, value, jobName);
        }
        job->seenAspect = 1;
    } else if (std::strcmp(key, "TARGET_SIZE") == 0) {
        if (!job->seenTarget) {
            int32_t target = LeadingInteger(value);
            if (target > kMaxPictureBits) target = kMaxPictureBits;
            // A progressive still may be coded as small as the caller asks.
            if (target < 160000 && !gSwitches.progressiveStill) target = 160000;
            gSettings.Target = target;
        }
        job->seenTarget = 1;
    }
}

// Reads every line; a line without words sets nothing. 0, or -1 without a line buffer.
int ReadJobFile(FILE* file, JobFileValues* job) {
    char* line = static_cast<char*>(TrackedAlloc(kLineBytes, 1));
    if (line == nullptr) {
        SeverityOf(kConditionOutOfMemory, 0);
        return -1;
    }
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

void CheckPresence(const char* workDir, JobFileValues* job) {
    const char* jobName = gSwitches.jobFileName;
    if (!job->seenPanScan) {
        ReportError(kMsgPanScanMissing, jobName);
        job->failed = 1;
    }
    if (!job->panScanOn && job->seenVector) {
        ReportError(kMsgPanScanVectorWhenOff, jobName);
        job->failed = 1;
    }
    if (job->panScanOn && !job->seenVector) {
        ReportError(kMsgPanScanVectorMissing, jobName);
        job->failed = 1;
    }
    if (job->panScanOn && job->aspect != kAspect16x9) {
        ReportError(kMsgPanScanAspect, jobName);
        job->failed = 1;
    }
    if (!job->seenFrameRate) {
        ReportError(kMsgFrameRateMissing, jobName);
        job->failed = 1;
    }
    if (!job->seenAspect) {
        ReportError(kMsgAspectMissing, jobName);
        job->failed = 1;
    }
    if (!job->seenTarget) {
        ReportError(kMsgTargetMissing, jobName);
        job->failed = 1;
    }
    if (!job->seenSource) {
        ReportError(kMsgSourceMissing, jobName);
        job->failed = 1;
    } else {
        std::snprintf(gSwitches.sourcePath, sizeof gSwitches.sourcePath, "%s/still/%s", workDir,
                      job->sourceName);
        if (SourceExists(gSwitches.sourcePath) != 0) {
            ReportError(kMsgCannotOpenSource, gSwitches.sourcePath);
            job->failed = 1;
        }
    }
}

bool IsOneOf(int32_t v, const int32_t* list, int n) {
    for (int i = 0; i < n; ++i) {
        if (list[i] == v) return true;
    }
    return false;
}

// The picture's size against the aspect ratio and the television standard.
void CheckPictureSize(JobFileValues* job) {
    static const int32_t kNarrowWidths[] = {96, 176, 352};
    static const int32_t kShortHeights[] = {64, 80, 112, 144, 240, 288};
    static const int32_t kNtscHeights[] = {64, 112, 240, 480};
    static const int32_t kPalHeights[] = {80, 144, 288, 576};
    const int32_t w = gSettings.FrameWidth;
    const int32_t h = gSettings.FrameHeight;
    const char* jobName = gSwitches.jobFileName;
    if (job->aspect == kAspect16x9) {
        if (IsOneOf(w, kNarrowWidths, 3)) {
            ReportError(kMsgSizeAspect, w, h, jobName);
            job->failed = 1;
        }
        if (IsOneOf(h, kShortHeights, 6)) {
            ReportError(kMsgSizeAspect, w, h, jobName);
            job->failed = 1;
        }
    }
    if (job->seenFrameRate) {
        if (IsOneOf(h, kNtscHeights, 4) && job->standard == kStandardPal) {
            ReportError(kMsgSizePal, w, h, jobName);
            job->failed = 1;
        } else if (IsOneOf(h, kPalHeights, 4) && job->standard == kStandardNtsc) {
            ReportError(kMsgSizeNtsc, w, h, jobName);
            job->failed = 1;
        }
    }
}

// Everything the stream headers take from the job.
void FillSettings(JobFileValues* job) {
    EncoderSettings& s = gSettings;
    int aspect = job->aspect;
    if (s.FrameWidth == 720 || s.FrameWidth == 704) {
        s.DisplayHorDimen = 720;
    } else if (s.FrameWidth == 352) {
        s.DisplayHorDimen = 360;
    } else {
        s.DisplayHorDimen = s.FrameWidth;
    }
    if (job->panScanOn) {
        // The 4:3 window of a 16:9 picture: the sequence itself is then 4:3.
        if (s.FrameWidth == 720 || s.FrameWidth == 704) {
            s.PanScan = 1;
            s.DisplayHorDimen = 540;
            aspect = kAspect4x3;
        } else {
            ReportError(kMsgWidthPanScan, s.FrameWidth, gSwitches.jobFileName);
            job->failed = 1;
        }
    }
    s.PelAspectRatio = aspect;
    s.DisplayVerDimen = s.FrameHeight;

    int colourCode = 0;
    if (job->standard == kStandardNtsc) {
        s.FrameRate = 30;
        s.FrameRate_s = 4;
        s.VideoFormat = 2;
        colourCode = 6;
    } else if (job->standard == kStandardPal) {
        s.FrameRate = 25;
        s.FrameRate_s = 3;
        s.VideoFormat = 1;
        colourCode = 5;
    }
    s.ProfileLevel = 72;
    if (job->standard != kStandardUnset) {
        s.ColourPrimaries = colourCode;
        s.TransferCharact = colourCode;
        s.MatrixCoefficients = colourCode;
    }

    if (job->panScanOn && job->seenVector) {
        int32_t vector = job->panScanVector;
        const int32_t limit = s.FrameWidth == 720 ? 1440 : s.FrameWidth == 704 ? 1312 : 0;
        if (limit != 0) {
            if (vector > limit) vector = limit;
            if (vector < -limit) vector = -limit;
        }
        // frame_centre_horizontal_offset is a 16-bit two's-complement field.
        if (vector < 0) vector = static_cast<int32_t>(static_cast<uint32_t>(vector) & 0xFFFFu);
        s.PanScanHorOffset = vector;
        s.PanScanVerOffset = 0;
    }

    s.PictureStructure = 3;
    s.ProgressiveFrame = 1;
    s.FramePredDct = 1;
    s.Chroma420Type = 1;
    // An interlaced frame needs a whole number of field macroblock rows.
    if (gSwitches.progressiveStill || s.FrameHeight % 32 != 0) {
        s.ProgressiveSeque = 1;
        s.TopFieldFirst = 0;
    } else {
        s.ProgressiveSeque = 0;
        s.TopFieldFirst = 1;
    }
    s.RepeatFirstField = 0;
}

}  // namespace

int PrepareJob(const char* workDir, const char* jobFilePath, const char* streamPath) {
    SetDefaultSettings();
    gSwitches.sourcePath[0] = '\0';
    if (streamPath != gSwitches.streamPath) {
        std::snprintf(gSwitches.streamPath, sizeof gSwitches.streamPath, "%s", streamPath);
    }

    FILE* file = nullptr;
    if (OpenOrReport(jobFilePath, "r", &file) != 0) return -1;
    JobFileValues job{};
    job.standard = kStandardUnset;
    job.aspect = kAspect4x3;
    if (ReadJobFile(file, &job) != 0) return -1;
    CheckPresence(workDir, &job);
    TrackedClose(file);

    if (job.seenSource) {
        int type = DetectSourceType(gSwitches.sourcePath);
        if (type == -1) return -1;
        if (type != 1) {
            ReportError(kMsgNotSupportedImage, gSwitches.sourcePath);
            return -1;
        }
        if (CancelRequested()) return 1;
        if (ConvertSourcePicture(gSwitches.sourcePath) == -1) return -1;
        gSettings.XMBlock = gSettings.FrameWidth / 16;
        gSettings.MBlockPerSlice = gSettings.FrameWidth / 16;
        gSettings.YMBlock = gSettings.FrameHeight / 16;
        CheckPictureSize(&job);
    }
    FillSettings(&job);
    return job.failed ? -1 : 0;
}

void StripComment(char* line) {
    for (int i = 0; i < kLineBytes && line[i] != '\0'; ++i) {
        if (line[i] == '#') {
            line[i] = '\0';
            return;
        }
    }
}

int SourceExists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 ? 0 : -1;
}
