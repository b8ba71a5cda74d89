// Job parameter file: reading, checking and filling the settings of one job.
#ifndef PICTOR_PARAMS_JOB_FILE_H
#define PICTOR_PARAMS_JOB_FILE_H

// 0 ready to code, -1 failed, 1 cancelled. Leaves the source path in
// gSwitches.sourcePath and the converted picture in gPlanes.
int PrepareJob(const char* workDir, const char* jobFilePath, const char* streamPath);
// Cuts `line` at its first '#' among its first 256 characters, in place.
void StripComment(char* line);
// 0 when the file exists, -1 when not.
int SourceExists(const char* path);

#endif
