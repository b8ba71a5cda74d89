#include "runtime/registry.h"

#include <cstdlib>

#include "messages/codes.h"
#include "messages/report.h"
#include "runtime/job.h"

AllocRegistry gAllocRegistry;
FileRegistry gFileRegistry;
RegistryFaults gRegistryFaults;

namespace {
// Larger requests than any picture needs are refused before calloc sees them.
constexpr uint64_t kLargestBlock = uint64_t{1} << 30;

// Whether an injected failure happens now (`fires`); one that does is noted with the job's
// progress.
bool Injected(bool fires) {
    if (fires) {
        gRegistryFaults.progressAtFailure =
            gJob.progress != nullptr ? __atomic_load_n(gJob.progress, __ATOMIC_RELAXED) : -1;
    }
    return fires;
}
}  // namespace

void ResetAllocRegistry() {
    for (int i = 0; i < gAllocRegistry.count; ++i)
        gAllocRegistry.records[i] = AllocRecord{nullptr, 0};
    gAllocRegistry.count = 0;
}

void* TrackedAlloc(uint64_t count, uint64_t size) {
    if (gAllocRegistry.count >= kAllocRecords) return nullptr;
    void* block = nullptr;
    if (Injected(gRegistryFaults.failAllocation == gAllocRegistry.count + 1)) {
        // As a failed calloc.
    } else if (count != 0 && size != 0 && count <= kLargestBlock / size) {
        block = std::calloc(static_cast<size_t>(count), static_cast<size_t>(size));
    } else if (count == 0 || size == 0) {
        block = std::calloc(1, 1);
    }
    gAllocRegistry.records[gAllocRegistry.count++] = AllocRecord{block, 1};
    return block;
}

void TrackedFree(void* block) {
    std::free(block);
    if (block == nullptr) return;
    for (int i = 0; i < gAllocRegistry.count; ++i) {
        if (gAllocRegistry.records[i].block == block)
            gAllocRegistry.records[i] = AllocRecord{nullptr, 0};
    }
}

void FreeAllTracked() {
    for (int i = 0; i < gAllocRegistry.count; ++i) {
        AllocRecord& r = gAllocRegistry.records[i];
        if (r.block != nullptr && r.inUse == 1) {
            std::free(r.block);
            r = AllocRecord{nullptr, 0};
        }
    }
}

int TrackedBlocks() {
    int n = 0;
    for (int i = 0; i < gAllocRegistry.count; ++i) n += gAllocRegistry.records[i].block != nullptr;
    return n;
}

void ResetFileRegistry() {
    gFileRegistry.count = 0;
    gFileRegistry.opens = 0;
    gFileRegistry.writes = 0;
    for (FileRecord& r : gFileRegistry.records) r = FileRecord{nullptr, kFileFree};
}

FILE* TrackedOpen(const char* path, const char* mode) {
    ++gFileRegistry.opens;
    if (Injected(gRegistryFaults.failOpen == gFileRegistry.opens)) return nullptr;
    if (gFileRegistry.count >= kFileRecords) return nullptr;
    FILE* stream = std::fopen(path, mode);
    if (stream == nullptr) return nullptr;
    gFileRegistry.records[gFileRegistry.count++] = FileRecord{stream, kFileOpen};
    return stream;
}

void TrackedClose(FILE* stream) {
    if (stream == nullptr) return;
    std::fclose(stream);
    for (int i = 0; i < gFileRegistry.count; ++i) {
        if (gFileRegistry.records[i].stream == stream) {
            int last = gFileRegistry.count - 1;
            gFileRegistry.records[i] = gFileRegistry.records[last];
            gFileRegistry.records[last] = FileRecord{nullptr, kFileFree};
            gFileRegistry.count = last;
            break;
        }
    }
}

void CloseAllTracked() {
    for (FileRecord& r : gFileRegistry.records) {
        if (r.state == kFileFree) break;
        if (r.stream != nullptr) std::fclose(r.stream);
        r = FileRecord{nullptr, kFileFree};
    }
    gFileRegistry.count = 0;
}

int OpenOrReport(const char* path, const char* mode, FILE** out) {
    FILE* stream = TrackedOpen(path, mode);
    if (stream == nullptr) {
        Report<kMsgCannotOpen>(path);
        return -1;
    }
    *out = stream;
    return 0;
}

size_t TrackedWrite(const void* bytes, size_t length, FILE* stream) {
    ++gFileRegistry.writes;
    const int64_t failAt = gRegistryFaults.failWrite;
    if (Injected(failAt != 0 && gFileRegistry.writes >= failAt)) return 0;
    if (length == 1) return putc(*static_cast<const unsigned char*>(bytes), stream) == EOF ? 0 : 1;
    return fwrite(bytes, 1, length, stream);
}
