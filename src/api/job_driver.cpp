#include "api/job_driver.h"

#include <cstdio>
#include <cstring>

#include "control/encoder.h"
#include "convert/colour.h"
#include "convert/convert_source.h"
#include "messages/codes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "params/job_file.h"
#include "params/job_switches.h"
#include "runtime/job.h"
#include "tiff/tiff_detect.h"
#include "tiff/tiff_fields.h"

namespace {

// Copies a fixed-width context field that the caller may not have terminated.
void CopyField(char* to, size_t toSize, const char* from, size_t fromSize) {
    size_t n = strnlen(from, fromSize);
    if (n >= toSize) n = toSize - 1;
    std::memcpy(to, from, n);
    to[n] = '\0';
}

void SetJobSwitches(int32_t extendedAnalysis, int32_t progressiveStill, int32_t levelMode) {
    tSwitches->extendedAnalysis = extendedAnalysis != 0;
    tSwitches->fullRange = levelMode == 1 || levelMode == 2;
    tSwitches->wideClip = levelMode == 1;
    tSwitches->progressiveStill = progressiveStill == 1;
}

// Where a job reads its parameters: long enough for any workDir and name, as
// StripJobExtension refuses what is too long.
struct JobPaths {
    char workDir[sizeof JobContext::workDir + 1];
    char jobPath[sizeof JobContext::workDir + sizeof JobContext::jobFileName + 2];
};

// The job parameter file path, the names that messages cite and the stream path; 0, or -1
// after code 47.
int SetJobPaths(const JobContext* context, JobPaths* paths) {
    CopyField(paths->workDir, sizeof paths->workDir, context->workDir, sizeof context->workDir);
    CopyField(tSwitches->streamPath, sizeof tSwitches->streamPath, context->streamPath,
              sizeof context->streamPath);
    CopyField(tMessageNames->jobFileName, sizeof tMessageNames->jobFileName, context->jobFileName,
              sizeof context->jobFileName);
    const bool explicitStream = tSwitches->streamPath[0] != '\0';
    if (explicitStream) {
        std::snprintf(paths->jobPath, sizeof paths->jobPath, "%s", tMessageNames->jobFileName);
    } else {
        std::snprintf(paths->jobPath, sizeof paths->jobPath, "%s/%s", paths->workDir,
                      tMessageNames->jobFileName);
    }
    char stem[kMaxJobPathLength + 1];
    if (StripJobExtension(paths->jobPath, stem) != 0) return -1;
    std::snprintf(tMessageNames->pictureName, sizeof tMessageNames->pictureName, "%s.tif", stem);
    if (!explicitStream)
        std::snprintf(tSwitches->streamPath, sizeof tSwitches->streamPath, "%s.ts", stem);
    return 0;
}

// The source type test, the cancel poll and the conversion into the picture planes:
// 0, -1 failed, 1 cancelled.
int ReadSourcePicture(const char* sourcePath) {
    const int type = DetectSourceType(sourcePath);
    if (type == -1) return -1;
    if (type != 1) {
        Report<kMsgNotSupportedImage>(sourcePath);
        return -1;
    }
    if (CancelRequested()) return 1;
    const ColourLevels levels{tSwitches->fullRange, tSwitches->wideClip};
    return ConvertSourcePicture(sourcePath, levels) == 0 ? 0 : -1;
}

}  // namespace

size_t JobStemLength(const char* path) {
    const char* cut = std::strstr(path, kJobExtension);
    return cut != nullptr ? static_cast<size_t>(cut - path) : std::strlen(path);
}

int StripJobExtension(const char* path, char* stem) {
    if (std::strlen(path) > kMaxJobPathLength) {
        Report<kMsgJobPathTooLong>(tMessageNames->jobFileName);
        return -1;
    }
    const size_t n = JobStemLength(path);
    std::memcpy(stem, path, n);
    stem[n] = '\0';
    return 0;
}

namespace {

int RunJobStages(JobContext* context) {
    SetJobSwitches(context->extendedAnalysis, context->progressiveStill, context->levelMode);
    JobPaths paths;
    if (SetJobPaths(context, &paths) != 0) return -1;
    JobParameters job;
    if (ReadJobParameters(paths.workDir, paths.jobPath, &job) != 0) return -1;
    if (job.seenSource) {
        const int input = ReadSourcePicture(job.sourcePath);
        if (input != 0) return input;
    }
    const PictureSize picture{tTiffFields->imageWidth, tTiffFields->imageLength};
    if (SettleJobSettings(&job, picture) != 0) return -1;
    return EncodePicture();
}

}  // namespace

int RunJob(JobContext* context) { return RunJobStages(context); }

namespace {

constexpr char kMemoryJobName[] = "picture.tp";

// The names that messages cite for a job given in memory, as a job file of `jobName` would
// have them; 0, or -1 after code 47.
int SetMemoryNames(const PictorSettings& settings, char* sourceName, size_t sourceSize) {
    const char* jobName = settings.jobName != nullptr ? settings.jobName : kMemoryJobName;
    std::snprintf(tMessageNames->jobFileName, sizeof tMessageNames->jobFileName, "%s", jobName);
    char stem[kMaxJobPathLength + 1];
    if (StripJobExtension(jobName, stem) != 0) return -1;
    std::snprintf(tMessageNames->pictureName, sizeof tMessageNames->pictureName, "%s.tif", stem);
    std::snprintf(tSwitches->streamPath, sizeof tSwitches->streamPath, "%s.ts", stem);
    if (settings.pictureName != nullptr)
        std::snprintf(sourceName, sourceSize, "%s", settings.pictureName);
    else
        std::snprintf(sourceName, sourceSize, "%s.tif", stem);
    return 0;
}

// A value of the job file's words, or the number itself when it names none of them (which the
// job file's rules then refuse, citing it).
const char* Named(int32_t value, int32_t first, const char* firstName, int32_t second,
                  const char* secondName, char* number, size_t numberSize) {
    if (value == first) return firstName;
    if (value == second) return secondName;
    std::snprintf(number, numberSize, "%d", static_cast<int>(value));
    return number;
}

// The settings as the lines of a job parameter file, read and checked by its rules.
void ReadMemorySettings(const PictorSettings& s, const char* sourceName, JobParameters* job) {
    char target[16], standard[16], aspect[16], panScan[16], vector[16];
    std::snprintf(target, sizeof target, "%d", static_cast<int>(s.targetBits));
    std::snprintf(vector, sizeof vector, "%d", static_cast<int>(s.panScanVector));
    const JobWord words[] = {
        {"TARGET_SIZE", target},
        {"FRMRT", Named(s.standard, PICTOR_PAL, "PAL", PICTOR_NTSC, "NTSC", standard, 16)},
        {"ASPECT_RATIO",
         Named(s.aspect, PICTOR_ASPECT_4_3, "4:3", PICTOR_ASPECT_16_9, "16:9", aspect, 16)},
        {"PAN_SCAN", Named(s.panScan, 1, "ON", 0, "OFF", panScan, 16)},
        {"PAN_SCAN_VECTOR", vector},
    };
    ReadJobWords(words, s.panScan == 1 ? 5 : 4, sourceName, job);
}

// The picture into the planes: TIFF bytes through the reader, as a source file; RGB samples
// converted directly. 0, -1 failed, 1 cancelled.
int ReadMemoryPicture(const MemoryJob& memory, const char* sourceName) {
    const ColourLevels levels{tSwitches->fullRange, tSwitches->wideClip};
    const bool tiff = memory.kind == MemoryJob::kTiff;
    if (tiff ? memory.tiff.bytes == nullptr : memory.rgb.pixels == nullptr) {
        Report<kMsgPictureMemory>(sourceName);
        return -1;
    }
    if (tiff) {
        tJob->source = memory.tiff;
        return ReadSourcePicture(sourceName);
    }
    if (CancelRequested()) return 1;
    return ConvertRgbPicture(memory.rgb, levels) == 0 ? 0 : -1;
}

int RunMemoryStages(const MemoryJob& memory) {
    const PictorSettings& settings = *memory.settings;
    SetJobSwitches(settings.extendedAnalysis, settings.progressiveStill, settings.levelMode);
    char sourceName[kMaxJobPathLength + sizeof ".tif"];
    if (SetMemoryNames(settings, sourceName, sizeof sourceName) != 0) return -1;
    JobParameters job;
    ReadMemorySettings(settings, sourceName, &job);
    const int input = ReadMemoryPicture(memory, job.sourcePath);
    if (input != 0) return input;
    const PictureSize picture{tTiffFields->imageWidth, tTiffFields->imageLength};
    if (SettleJobSettings(&job, picture) != 0) return -1;
    return EncodePicture();
}

}  // namespace

int RunMemoryJob(const MemoryJob& memory) { return RunMemoryStages(memory); }
