// The working memory an instance keeps between jobs: the room of a large block a job gives back
// serves a later request, zero-filled as a new one; the registry's count of the job's blocks and
// its injected failures see carved blocks as any other.
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

TEST(KeptBlocks, AGivenBackBlockServesTheNextRequestZeroFilled) {
    ResetAllState();
    AllocRegistry* const bound = tAllocRegistry;
    auto registry = std::make_unique<AllocRegistry>();
    tAllocRegistry = registry.get();
    void* large = TrackedAlloc(100000, 1);
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(large) % 64, 0u);
    std::memset(large, 0xab, 100000);
    void* second = TrackedAlloc(300000, 1);
    ASSERT_NE(second, nullptr);
    std::memset(second, 0xcd, 300000);
    const uint64_t mapped = KeptBlockBytes(*registry);
    EXPECT_GE(mapped, 400000u);
    // A small block comes from the C library and goes back to it.
    TrackedFree(TrackedAlloc(100, 1));
    // The last block given back frees its room at once; the rest when no block is left.
    TrackedFree(second);
    void* third = TrackedAlloc(200000, 1);
    EXPECT_EQ(third, second);
    EXPECT_TRUE(AllZero(third, 200000));
    FreeAllTracked();
    ResetAllocRegistry();
    EXPECT_EQ(TrackedBlocks(), 0);
    void* again = TrackedAlloc(5000, 10);
    EXPECT_EQ(again, large);
    EXPECT_TRUE(AllZero(again, 50000));
    // An injected failure fires where there is room.
    gRegistryFaults.failAllocation = 2;
    EXPECT_EQ(TrackedAlloc(1000, 10), nullptr);
    gRegistryFaults = RegistryFaults{};
    // A request larger than any chunk gets a chunk of its own.
    void* huge = TrackedAlloc(uint64_t{9} << 20, 1);
    ASSERT_NE(huge, nullptr);
    EXPECT_TRUE(AllZero(huge, uint64_t{9} << 20));
    EXPECT_GT(KeptBlockBytes(*registry), mapped + (uint64_t{9} << 20));
    FreeAllTracked();
    EXPECT_EQ(TrackedBlocks(), 0);
    ReleaseAllocRegistry(registry.get());
    EXPECT_EQ(KeptBlockBytes(*registry), 0u);
    tAllocRegistry = bound;
}

// Where the working memory an instance keeps after a job lies.
std::vector<void*> KeptOf(const PictorEncoder* encoder) {
    const WorkingMemory& m = encoder->allocRegistry.memory;
    std::vector<void*> chunks;
    for (int i = 0; i < m.chunkCount; ++i) chunks.push_back(m.chunks[i].base);
    return chunks;
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
