#include "api/instance.h"

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
    delete encoder;
}

PictorEncoder* DefaultInstance() {
    // In static storage, so there is always one, and never destroyed: a job of another thread
    // may still run while the process exits.
    alignas(PictorEncoder) static unsigned char storage[sizeof(PictorEncoder)];
    static PictorEncoder* const instance = StartInstance(storage);
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
