// The working memory an instance keeps between jobs: a large block a job gives back serves a
// later request that fits, zero-filled as a new one; the registry's count of the job's blocks
// and its injected failures do not see the kept ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "api/instance.h"
#include "pictor/pictor.h"
#include "runtime/registry.h"
#include "support/files.h"
#include "support/state.h"

namespace {

bool AllZero(const void* block, size_t bytes) {
    const auto* b = static_cast<const unsigned char*>(block);
    return std::all_of(b, b + bytes, [](unsigned char v) { return v == 0; });
}

TEST(KeptBlocks, AGivenBackBlockServesTheNextRequestThatFits) {
    ResetAllState();
    AllocRegistry* const bound = tAllocRegistry;
    auto registry = std::make_unique<AllocRegistry>();
    tAllocRegistry = registry.get();
    void* large = TrackedAlloc(100000, 1);
    ASSERT_NE(large, nullptr);
    std::memset(large, 0xab, 100000);
    TrackedFree(large);
    EXPECT_EQ(TrackedBlocks(), 0);
    EXPECT_EQ(KeptBlockBytes(*registry), 100000u);
    // A small block goes back to the C library.
    TrackedFree(TrackedAlloc(100, 1));
    EXPECT_EQ(KeptBlockBytes(*registry), 100000u);
    void* again = TrackedAlloc(5000, 10);
    EXPECT_EQ(again, large);
    EXPECT_TRUE(AllZero(again, 50000));
    EXPECT_EQ(KeptBlockBytes(*registry), 0u);
    // The job's end gives it back; the next job's reset keeps it.
    FreeAllTracked();
    ResetAllocRegistry();
    EXPECT_EQ(TrackedBlocks(), 0);
    EXPECT_EQ(KeptBlockBytes(*registry), 100000u);
    // A larger request takes a new block; an injected failure fires even where one would fit.
    void* larger = TrackedAlloc(200000, 1);
    EXPECT_NE(larger, nullptr);
    EXPECT_NE(larger, large);
    gRegistryFaults.failAllocation = 2;
    EXPECT_EQ(TrackedAlloc(1000, 10), nullptr);
    gRegistryFaults = RegistryFaults{};
    EXPECT_EQ(KeptBlockBytes(*registry), 100000u);
    EXPECT_EQ(TrackedAlloc(100000, 1), large);
    EXPECT_EQ(TrackedBlocks(), 2);
    FreeAllTracked();
    EXPECT_EQ(KeptBlockBytes(*registry), 300000u);
    ReleaseAllocRegistry(registry.get());
    EXPECT_EQ(KeptBlockBytes(*registry), 0u);
    tAllocRegistry = bound;
}

// The blocks an instance keeps after a job, in order of their addresses.
std::vector<void*> KeptOf(const PictorEncoder* encoder) {
    const AllocRegistry& r = encoder->allocRegistry;
    std::vector<void*> blocks;
    for (int i = 0; i < r.keptCount; ++i) blocks.push_back(r.kept[i].block);
    std::sort(blocks.begin(), blocks.end());
    return blocks;
}

// After its first job an instance codes the same picture again and again in the blocks it kept,
// under either rule, to the same stream.
TEST(KeptBlocks, LaterJobsCodeInTheFirstJobsBlocks) {
    const std::vector<uint8_t> tiff =
        ReadFileBytes(PICTOR_SOURCE_DIR "/examples/still/astronaut.tif");
    ASSERT_FALSE(tiff.empty());
    for (int32_t extended : {0, 1}) {
        PictorEncoder* encoder = PictorCreate();
        ASSERT_NE(encoder, nullptr);
        PictorSettings settings;
        PictorDefaultSettings(&settings);
        settings.extendedAnalysis = extended;
        std::vector<unsigned char> first;
        std::vector<void*> kept;
        for (int job = 0; job < 3; ++job) {
            std::vector<unsigned char> out(225000);
            PictorStream stream{out.data(), out.size(), 0, nullptr, nullptr};
            ASSERT_EQ(PictorResetCarried(encoder), 0);
            ASSERT_EQ(
                PictorEncodeTiff(encoder, &settings, tiff.data(), tiff.size(), &stream, nullptr),
                0);
            out.resize(stream.size);
            BindInstance(encoder);
            EXPECT_EQ(TrackedBlocks(), 0);
            if (job == 0) {
                first = out;
                kept = KeptOf(encoder);
                EXPECT_GT(KeptBlockBytes(encoder->allocRegistry), 1000000u) << extended;
            } else {
                EXPECT_EQ(out, first) << extended;
                EXPECT_EQ(KeptOf(encoder), kept) << extended << " job " << job;
            }
        }
        EXPECT_EQ(PictorDestroy(encoder), 0);
    }
    ResetAllState();
}

}  // namespace
