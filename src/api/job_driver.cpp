#include "api/job_driver.h"

#include <cstdio>
#include <cstring>

#include "control/encoder.h"
#include "messages/codes.h"
#include "messages/report.h"
#include "params/job_file.h"

JobSwitches gSwitches;

void ResetJobSwitches() { std::memset(&gSwitches, 0, sizeof gSwitches); }

namespace {

// Copies a fixed-width context field that the caller may not have terminated.
void CopyField(char* to, size_t toSize, const char* from, size_t fromSize) {
    size_t n = strnlen(from, fromSize);
    if (n >= toSize) n = toSize - 1;
    std::memcpy(to, from, n);
    to[n] = '\0';
}

}  // namespace

int StripJobExtension(const char* path, char* stem) {
    if (std::strlen(path) > kMaxJobPathLength) {
        ReportError(kMsgJobPathTooLong, gSwitches.jobFileName);
        return -1;
    }
    const char* cut = std::strstr(path, ".tp");
    size_t n = cut != nullptr ? static_cast<size_t>(cut - path) : std::strlen(path);
    std::memcpy(stem, path, n);
    stem[n] = '\0';
    return 0;
}

int RunJob(JobContext* context) {
    gSwitches.extendedAnalysis = context->extendedAnalysis != 0;
    gSwitches.fullRange = context->levelMode == 1 || context->levelMode == 2;
    gSwitches.wideClip = context->levelMode == 1;
    gSwitches.progressiveStill = context->progressiveStill == 1;

    char workDir[sizeof context->workDir + 1];
    char streamPath[sizeof context->streamPath + 1];
    CopyField(workDir, sizeof workDir, context->workDir, sizeof context->workDir);
    CopyField(streamPath, sizeof streamPath, context->streamPath, sizeof context->streamPath);
    CopyField(gSwitches.jobFileName, sizeof gSwitches.jobFileName, context->jobFileName,
              sizeof context->jobFileName);

    // Long enough for any workDir and name; StripJobExtension refuses what is too long.
    static char jobPath[sizeof context->workDir + sizeof context->jobFileName + 2];
    if (streamPath[0] == '\0') {
        std::snprintf(jobPath, sizeof jobPath, "%s/%s", workDir, gSwitches.jobFileName);
    } else {
        std::snprintf(jobPath, sizeof jobPath, "%s", gSwitches.jobFileName);
    }

    char stem[kMaxJobPathLength + 1];
    if (StripJobExtension(jobPath, stem) != 0) return -1;
    std::snprintf(gSwitches.pictureName, sizeof gSwitches.pictureName, "%s.tif", stem);
    if (streamPath[0] == '\0') {
        std::snprintf(gSwitches.streamPath, sizeof gSwitches.streamPath, "%s.ts", stem);
    } else {
        std::snprintf(gSwitches.streamPath, sizeof gSwitches.streamPath, "%s", streamPath);
    }

    int result = PrepareJob(workDir, jobPath, gSwitches.streamPath);
    if (result != 0) return result;
    return EncodePicture();
}
