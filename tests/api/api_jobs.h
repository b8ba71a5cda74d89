// Job files, child processes and the fixture shared by the library's tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "runtime/registry.h"
#include "support/files.h"
#include "support/job_runner.h"
#include "support/state.h"
#include "support/tiff_writer.h"

inline const std::string kNtsc = "FRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";
inline const std::string kPal = "FRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";

// A job file for `picture` (in the folder's still/) at `target` bits, with the frame lines.
inline std::string JobText(const std::string& picture, int target, const std::string& frame) {
    return "SOURCE_FILE " + picture + "\nTARGET_SIZE " + std::to_string(target) + "\n" + frame;
}

// In workDir/still: text.tif, a file that is not a TIFF, and cut.tif, whose strip lies past the
// end of the file, so that a job fails with the planes allocated and the source open.
inline void WriteFailingPictures(const std::string& workDir) {
    WriteFileText(workDir + "/still/text.tif", "not a picture\n");
    TiffFile cut = RgbTiffLayout(96, 64, TestPatternRgb(96, 64), TiffOptions{});
    for (TiffEntry& e : cut.entries) e = e.tag == 279 ? Long(279, {0xFFFFFFF0u}) : e;
    WriteFileBytes(workDir + "/still/cut.tif", WriteTiffFile(cut));
}

// `text` with each `from` replaced by `to`.
inline std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Runs `body` in a child process, which ends without running anything of its parent's.
inline void InChild(const std::function<void()>& body) {
    std::fflush(nullptr);  // what the child prints must not repeat the parent's buffered output
    const pid_t child = fork();
    if (child == 0) {
        body();
        _exit(0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Each test starts and ends with no job state, and every job it runs must release what it took.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        descriptors_ = OpenDescriptors();
    }
    void TearDown() override { ResetAllState(); }
    void ExpectReleased() {
        EXPECT_EQ(TrackedBlocks(), 0);
        EXPECT_EQ(tFileRegistry->count, 0);
        EXPECT_EQ(OpenDescriptors(), descriptors_);
    }
    TempDir dir_;
    long descriptors_ = 0;
};
