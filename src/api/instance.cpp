#include "api/instance.h"

#include <cstdlib>
#include <new>

namespace {

void BindOwner(void* owner) { BindInstance(static_cast<PictorEncoder*>(owner)); }

// A new instance in `storage`, value-initialised: every record starts as zeroes, as a record of
// static storage would; its helper binds it.
PictorEncoder* StartInstance(void* storage) {
    PictorEncoder* encoder = new (storage) PictorEncoder();
    encoder->threads = JobThreadsRecord{nullptr, BindOwner, encoder};
    return encoder;
}

}  // namespace

PictorEncoder* CreateInstance() {
    void* storage = ::operator new(sizeof(PictorEncoder), std::nothrow);
    return storage != nullptr ? StartInstance(storage) : nullptr;
}

void DestroyInstance(PictorEncoder* encoder) {
    if (encoder == nullptr) return;
    DestroyJobThreads(&encoder->threads);
    ReleaseAllocRegistry(&encoder->allocRegistry);
    delete encoder;
}

namespace {
alignas(PictorEncoder) unsigned char gDefaultStorage[sizeof(PictorEncoder)];
PictorEncoder* gDefault = nullptr;

// The process's end stops the default instance's helper; a job of another thread that is still
// running goes on without it.
void RetireDefaultHelper() { RetireJobThreads(&gDefault->threads); }

PictorEncoder* StartDefaultInstance() {
    gDefault = StartInstance(gDefaultStorage);
    std::atexit(RetireDefaultHelper);
    return gDefault;
}
}  // namespace

PictorEncoder* DefaultInstance() {
    // In static storage, so there is always one, and never destroyed: a job of another thread
    // may still run while the process exits.
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
