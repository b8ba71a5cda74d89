#include "api/instance.h"

#include <cstdlib>
#include <new>

#include "runtime/working_memory.h"

namespace {

void BindOwner(void* owner) { BindInstance(static_cast<PictorEncoder*>(owner)); }

// A new instance in `storage`, value-initialised: every record starts as zeroes, as a record of
// static storage would; its helper binds it.
PictorEncoder* StartInstance(void* storage) {
    PictorEncoder* encoder = new (storage) PictorEncoder();
    encoder->threads = JobThreadsRecord{nullptr, BindOwner, encoder, false};
    return encoder;
}

// The instance's records and its first working memory share one mapping: a job of a new instance
// takes both from the kernel in a few large pages.
constexpr uint64_t kRecordBytes = (sizeof(PictorEncoder) + 4095) & ~uint64_t{4095};
constexpr uint64_t kInstanceMapping = uint64_t{4} << 20;
static_assert(kRecordBytes < kInstanceMapping / 2, "the instance leaves room for blocks");

// A new instance at the start of `mapping` (kInstanceMapping bytes), its blocks after it.
PictorEncoder* PlaceInstance(void* mapping) {
    PictorEncoder* encoder = StartInstance(mapping);
    AdoptChunk(&encoder->allocRegistry.memory, static_cast<unsigned char*>(mapping) + kRecordBytes,
               kInstanceMapping - kRecordBytes);
    return encoder;
}
}  // namespace

PictorEncoder* CreateInstance() {
    void* mapping = MapLargePages(kInstanceMapping);
    return mapping != nullptr ? PlaceInstance(mapping) : nullptr;
}

void DestroyInstance(PictorEncoder* encoder) {
    if (encoder == nullptr) return;
    DestroyJobThreads(&encoder->threads);
    ReleaseAllocRegistry(&encoder->allocRegistry);
    encoder->~PictorEncoder();
    UnmapLargePages(encoder, kInstanceMapping);
}

namespace {
alignas(PictorEncoder) unsigned char gDefaultStorage[sizeof(PictorEncoder)];
PictorEncoder* gDefault = nullptr;

// The process's end stops the default instance's helper; a job of another thread that is still
// running goes on without it.
void RetireDefaultHelper() { RetireJobThreads(&gDefault->threads); }

PictorEncoder* StartDefaultInstance() {
    // Mapped as any instance; static storage only when the system gives no memory.
    void* mapping = MapLargePages(kInstanceMapping);
    gDefault = mapping != nullptr ? PlaceInstance(mapping) : StartInstance(gDefaultStorage);
    std::atexit(RetireDefaultHelper);
    return gDefault;
}
}  // namespace

PictorEncoder* DefaultInstance() {
    // Always one (in static storage when nothing can be mapped), and never destroyed: a job of
    // another thread may still run while the process exits.
    static PictorEncoder* const instance = StartDefaultInstance();
    return instance;
}

void BindInstance(PictorEncoder* e) {
    tJob = &e->job;
    tAllocRegistry = &e->allocRegistry;
    tFileRegistry = &e->fileRegistry;
    tReporter = &e->reporter;
    tMessageNames = &e->messageNames;
    tSwitches = &e->switches;
    tSettings = &e->settings;
    tTiffFields = &e->tiffFields;
    tTiffReader = &e->tiffReader;
    tPlanes = &e->planes;
    tAnalysis = &e->analysis;
    tEstimate = &e->estimate;
    tThreshold = &e->threshold;
    tMemo = &e->memo;
    tMacroblockBits = &e->macroblockBits;
    tIntraMatrix = &e->intraMatrix;
    tRunningDc = &e->runningDc;
    tBitWriter = &e->bitWriter;
    tCodeList = &e->codeList;
    tCarriedSearch = &e->carriedSearch;
    tJobThreads = &e->threads;
}
