// A long-lived host runs job after job in one process.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "api/registry.h"
#include "messages/report.h"
#include "pictor/pictor.h"
#include "support/files.h"
#include "support/job_runner.h"
#include "support/state.h"
#include "support/tiff_writer.h"

#if defined(__SANITIZE_ADDRESS__)
#define PICTOR_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PICTOR_UNDER_ASAN 1
#endif
#endif

namespace {

int OpenDescriptors() {
    int n = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    while (readdir(dir) != nullptr) ++n;
    closedir(dir);
    return n;
}

long ResidentKilobytes() {
    long pages = 0, resident = 0;
    FILE* in = std::fopen("/proc/self/statm", "r");
    if (in == nullptr) return -1;
    if (std::fscanf(in, "%ld %ld", &pages, &resident) != 2) resident = -1;
    std::fclose(in);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

const char kGood[] = "SOURCE_FILE pic.tif\nTARGET_SIZE 200000\nFRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";

struct Kind {
    const char* jobName;
    std::string text;
    int result;  // what the job must end with
};

class ManyJobsTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAllState(); }
    void TearDown() override { ResetAllState(); }
};

TEST_F(ManyJobsTest, AThousandJobsLeaveNothingBehind) {
    TempDir dir;
    WriteStillPicture(dir.path, "pic.tif", 96, 64);
    // A strip that runs past the end of the file: the job fails reading it, with
    // the picture planes allocated and the source open.
    TiffFile cut = RgbTiffLayout(96, 64, TestPatternRgb(96, 64), TiffOptions{});
    for (TiffEntry& e : cut.entries) {
        if (e.tag == 279) e = Long(279, {0xFFFFFFF0u});
    }
    WriteFileBytes(dir / "still/cut.tif", WriteTiffFile(cut));
    WriteFileText(dir / "still/text.tif", "not a picture\n");
    const std::string longName(300, 'n');

    const std::vector<Kind> kinds = {
        {"good.tp", kGood, 0},
        {"empty.tp", "", -1},
        {"missing.tp", "SOURCE_FILE gone.tif\nTARGET_SIZE 1\nFRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n", -1},
        {"text.tp", "SOURCE_FILE text.tif\nTARGET_SIZE 200000\nFRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n", -1},
        {"values.tp", "SOURCE_FILE pic.tif\nTARGET_SIZE x\nFRMRT pal\nASPECT_RATIO 1:1\nPAN_SCAN on\n", -1},
        {"mismatch.tp", "SOURCE_FILE pic.tif\nTARGET_SIZE 200000\nFRMRT PAL\nASPECT_RATIO 16:9\nPAN_SCAN ON\n", -1},
        {"cut.tp", "SOURCE_FILE cut.tif\nTARGET_SIZE 200000\nFRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n", -1},
        {"absent.tp", "", -1},
        {nullptr, "", -1},  // a name too long for the job file path
        {"cancel.tp", kGood, 1},
    };
    for (const Kind& k : kinds) {
        if (k.jobName != nullptr && std::string(k.jobName) != "absent.tp") WriteFileText(dir / k.jobName, k.text);
    }

    const int descriptors = OpenDescriptors();
    long resident[3] = {0, 0, 0};  // after 100, 550 and 1000 jobs
    for (int i = 0; i < 1000; ++i) {
        const Kind& k = kinds[i % kinds.size()];
        int result;
        if (i % 20 == 10) {
            // Every other good job goes through PictorForDA with an explicit stream path.
            std::string job = dir / "good.tp";
            result = PictorForDA(dir.path.c_str(), job.c_str(), (dir / "da.m2v").c_str(), 0);
        } else {
            JobOptions options;
            options.cancel = k.result == 1 ? 1 : 0;
            JobOutcome out = RunPictor(dir.path, k.jobName != nullptr ? k.jobName : longName, options);
            result = out.result;
            ASSERT_EQ(out.status, out.result) << i;
            ASSERT_EQ(out.progress, 100) << i;
            ASSERT_EQ(out.errorText.empty(), out.result != -1) << i << " " << out.errorText;
            if (i == 6) {
                ASSERT_EQ(out.errorText, ErrorLine(18, "TIFF strip data read error. <" + dir.path + "/cut.tif> "));
            }
        }
        ASSERT_EQ(result, k.result) << "job " << i << " (" << (k.jobName ? k.jobName : "long") << "): "
                                    << gReporter.errorText;
        ASSERT_EQ(TrackedBlocks(), 0) << i;
        ASSERT_EQ(gFileRegistry.count, 0) << i;
        if (i == 99 || i == 549 || i == 999) resident[i / 450] = ResidentKilobytes();
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_TRUE(FileExists(dir / "da.m2v"));
    RecordProperty("resident_kb", std::to_string(resident[0]) + " " + std::to_string(resident[1]) + " " +
                                      std::to_string(resident[2]));
#ifndef PICTOR_UNDER_ASAN
    // The sanitizer's quarantine holds freed memory back, so only plain builds
    // measure this. A leak grows both halves of the run; the allocator may
    // extend its heap once.
    const long first = resident[1] - resident[0];
    const long second = resident[2] - resident[1];
    EXPECT_LT(std::min(first, second), 32) << "resident memory grew by " << first << " kB, then " << second << " kB";
    EXPECT_LT(first + second, 512);
#endif
}

}  // namespace
