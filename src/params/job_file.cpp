#include "params/job_file.h"

#include <cstdio>

#include "api/registry.h"
#include "params/settings.h"

// Placeholder until the job parameter step lands: opens the file, nothing more.
int PrepareJob(const char* /*workDir*/, const char* jobFilePath, const char* /*streamPath*/) {
    SetDefaultSettings();
    FILE* file = nullptr;
    if (OpenOrReport(jobFilePath, "r", &file) != 0) return -1;
    TrackedClose(file);
    return -1;
}

void StripComment(char* /*line*/) {}

int SourceExists(const char* /*path*/) { return -1; }
