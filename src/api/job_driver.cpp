#include "api/job_driver.h"

#include <cstdio>
#include <cstring>

#include "control/encoder.h"
#include "convert/convert_source.h"
#include "messages/codes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "parallel/job_threads.h"
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

void SetJobSwitches(const JobContext* context) {
    tSwitches->extendedAnalysis = context->extendedAnalysis != 0;
    tSwitches->fullRange = context->levelMode == 1 || context->levelMode == 2;
    tSwitches->wideClip = context->levelMode == 1;
    tSwitches->progressiveStill = context->progressiveStill == 1;
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
    SetJobSwitches(context);
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

int RunJob(JobContext* context) {
    const int result = RunJobStages(context);
    // No thread of the job outlives it.
    EndJobThreads();
    return result;
}
