// Shared pieces of the media tests: shell commands that make pictures and jobs
// run through the library.
#ifndef PICTOR_TESTS_MEDIA_MEDIA_TEST_SUPPORT_H
#define PICTOR_TESTS_MEDIA_MEDIA_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/files.h"
#include "support/job_runner.h"

// Runs a shell command; fails the test (and returns false) when it exits non-zero.
inline bool Make(const std::string& command) {
    std::string output;
    const int status = RunCommand(command + " 2>&1", &output);
    EXPECT_EQ(status, 0) << command << "\n" << output;
    return status == 0;
}

// 'path' quoted for the shell.
inline std::string Q(const std::string& path) { return "'" + path + "'"; }

// Codes `tiffPath` as workDir/still/pic.tif through the library; the stream path,
// or empty when the job failed (the error text goes to the test log).
inline std::string EncodeTiff(const std::string& workDir, const std::string& tiffPath, bool pal,
                              bool wide, int target, int levelMode) {
    mkdir((workDir + "/still").c_str(), 0755);
    WriteFileBytes(workDir + "/still/pic.tif", ReadFileBytes(tiffPath));
    WriteFileText(workDir + "/job.tp", "SOURCE_FILE pic.tif\nTARGET_SIZE " +
                                           std::to_string(target) + "\nFRMRT " +
                                           (pal ? "PAL" : "NTSC") + "\nASPECT_RATIO " +
                                           (wide ? "16:9" : "4:3") + "\nPAN_SCAN OFF\n");
    JobOptions options;
    options.levelMode = levelMode;
    const JobOutcome outcome = RunPictor(workDir, "job.tp", options);
    EXPECT_EQ(outcome.result, 0) << outcome.errorText;
    return outcome.result == 0 ? workDir + "/job.ts" : "";
}

#endif
