#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "api/registry.h"
#include "messages/report.h"
#include "support/files.h"
#include "support/state.h"

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        BindErrorText(text_, kModulePictor);
    }
    void TearDown() override { ResetAllState(); }
    char text_[1024] = {};
};

TEST_F(RegistryTest, RecordsAreNeverReusedWithinAJob) {
    void* a = TrackedAlloc(10, 4);
    ASSERT_NE(a, nullptr);
    TrackedFree(a);
    void* b = TrackedAlloc(10, 4);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(gAllocRegistry.count, 2);
    EXPECT_EQ(gAllocRegistry.records[0].block, nullptr);
    EXPECT_EQ(gAllocRegistry.records[1].block, b);
    EXPECT_EQ(TrackedBlocks(), 1);
}

TEST_F(RegistryTest, BlocksAreZeroFilled) {
    auto* p = static_cast<unsigned char*>(TrackedAlloc(1000, 3));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 3000; ++i) ASSERT_EQ(p[i], 0) << i;
}

TEST_F(RegistryTest, FailedAllocationStillUsesARecordAndAddsNoLine) {
    EXPECT_EQ(TrackedAlloc(uint64_t{1} << 40, 1 << 20), nullptr);
    EXPECT_EQ(TrackedAlloc(~uint64_t{0}, 2), nullptr);  // count x size overflows 64 bits
    EXPECT_EQ(gAllocRegistry.count, 2);
    EXPECT_STREQ(text_, "");
}

TEST_F(RegistryTest, TheTableHoldsExactlyTwentyThousandRecords) {
    for (int i = 0; i < kAllocRecords; ++i) ASSERT_NE(TrackedAlloc(1, 1), nullptr) << i;
    EXPECT_EQ(TrackedAlloc(1, 1), nullptr);
    EXPECT_EQ(gAllocRegistry.count, kAllocRecords);
    FreeAllTracked();
    EXPECT_EQ(TrackedBlocks(), 0);
}

TEST_F(RegistryTest, FreeingNullOrAnUnknownBlockTouchesNothing) {
    void* a = TrackedAlloc(1, 8);
    TrackedFree(nullptr);
    EXPECT_EQ(gAllocRegistry.records[0].block, a);
    EXPECT_EQ(gAllocRegistry.records[0].inUse, 1);
}

TEST_F(RegistryTest, ClosingMovesTheLastOpenRecordIntoTheGap) {
    TempDir dir;
    FILE* f[3];
    for (int i = 0; i < 3; ++i) {
        f[i] = TrackedOpen((dir / ("f" + std::to_string(i))).c_str(), "wb");
        ASSERT_NE(f[i], nullptr);
    }
    TrackedClose(f[0]);
    EXPECT_EQ(gFileRegistry.count, 2);
    EXPECT_EQ(gFileRegistry.records[0].stream, f[2]);
    EXPECT_EQ(gFileRegistry.records[1].stream, f[1]);
    EXPECT_EQ(gFileRegistry.records[2].state, kFileFree);
    CloseAllTracked();
    EXPECT_EQ(gFileRegistry.count, 0);
    EXPECT_EQ(gFileRegistry.records[0].state, kFileFree);
}

TEST_F(RegistryTest, AThousandAndFirstOpenFailsAsAFailedOpen) {
    TempDir dir;
    std::string path = dir / "shared";
    WriteFileText(path, "x");
    for (int i = 0; i < kFileRecords; ++i) ASSERT_NE(TrackedOpen(path.c_str(), "rb"), nullptr) << i;
    FILE* extra = nullptr;
    EXPECT_EQ(OpenOrReport(path.c_str(), "rb", &extra), -1);
    EXPECT_EQ(extra, nullptr);
    EXPECT_EQ(std::string(text_), "Pictor error 2: Cannot open <" + path + "> \n");
    CloseAllTracked();
    EXPECT_EQ(gFileRegistry.count, 0);
}

TEST_F(RegistryTest, AFailedOpenRecordsNothing) {
    FILE* f = nullptr;
    EXPECT_EQ(OpenOrReport("/nonexistent/dir/x", "r", &f), -1);
    EXPECT_EQ(gFileRegistry.count, 0);
    EXPECT_EQ(gFileRegistry.records[0].state, kFileFree);
}

}  // namespace
