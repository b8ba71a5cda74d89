#include "runtime/registry.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "messages/codes.h"
#include "messages/report.h"
#include "runtime/job.h"

thread_local AllocRegistry* tAllocRegistry = nullptr;
thread_local FileRegistry* tFileRegistry = nullptr;
RegistryFaults gRegistryFaults;

namespace {
// Larger requests than any picture needs are refused before calloc sees them.
constexpr uint64_t kLargestBlock = uint64_t{1} << 30;

// Whether an injected failure happens now (`fires`); one that does is noted with the job's
// progress.
bool Injected(bool fires) {
    if (fires) {
        gRegistryFaults.progressAtFailure =
            tJob->progress != nullptr ? __atomic_load_n(tJob->progress, __ATOMIC_RELAXED) : -1;
    }
    return fires;
}

// `bytes` zero-filled bytes; `holds` is set to what the block holds. Smaller blocks come from the
// C library, whose free lists keep them without the kernel.
void* NewBlock(uint64_t bytes, uint64_t* holds) {
    *holds = bytes;
    if (bytes >= kCarvedBlockBytes) {
        if (void* carved = CarveBlock(&tAllocRegistry->memory, bytes, holds)) return carved;
    }
    return std::calloc(1, static_cast<size_t>(bytes));
}

void ReleaseBlock(void* block, uint64_t holds) {
    if (holds < kCarvedBlockBytes || !GiveBackBlock(&tAllocRegistry->memory, block, holds))
        std::free(block);
}

}  // namespace

void ResetAllocRegistry() {
    for (int i = 0; i < tAllocRegistry->count; ++i)
        tAllocRegistry->records[i] = AllocRecord{nullptr, 0, 0};
    tAllocRegistry->count = 0;
}

void* TrackedAlloc(uint64_t count, uint64_t size) {
    if (tAllocRegistry->count >= kAllocRecords) return nullptr;
    if (tAllocRegistry->records == nullptr) {
        // Taken once, and only the records a job uses are ever touched.
        void* records = std::calloc(kAllocRecords, sizeof(AllocRecord));
        if (records == nullptr) return nullptr;
        tAllocRegistry->records = static_cast<AllocRecord*>(records);
    }
    void* block = nullptr;
    uint64_t holds = 0;
    if (Injected(gRegistryFaults.failAllocation == tAllocRegistry->count + 1)) {
        // As a failed calloc.
    } else if (count != 0 && size != 0 && count <= kLargestBlock / size) {
        block = NewBlock(count * size, &holds);
    } else if (count == 0 || size == 0) {
        block = NewBlock(1, &holds);
    }
    tAllocRegistry->records[tAllocRegistry->count++] =
        AllocRecord{block, 1, block != nullptr ? static_cast<uint32_t>(holds) : 0};
    return block;
}

void TrackedFree(void* block) {
    if (block == nullptr) return;
    for (int i = 0; i < tAllocRegistry->count; ++i) {
        AllocRecord& r = tAllocRegistry->records[i];
        if (r.block == block) {
            ReleaseBlock(block, r.bytes);
            r = AllocRecord{nullptr, 0, 0};
            return;
        }
    }
    std::free(block);
}

void FreeAllTracked() {
    for (int i = 0; i < tAllocRegistry->count; ++i) {
        AllocRecord& r = tAllocRegistry->records[i];
        if (r.block != nullptr && r.inUse == 1) {
            ReleaseBlock(r.block, r.bytes);
            r = AllocRecord{nullptr, 0, 0};
        }
    }
}

uint64_t KeptBlockBytes(const AllocRegistry& registry) { return ChunkBytes(registry.memory); }

void ReleaseAllocRegistry(AllocRegistry* registry) {
    ReleaseWorkingMemory(&registry->memory);
    std::free(registry->records);
    registry->records = nullptr;
    registry->count = 0;
}

int TrackedBlocks() {
    int n = 0;
    for (int i = 0; i < tAllocRegistry->count; ++i)
        n += tAllocRegistry->records[i].block != nullptr;
    return n;
}

void ResetFileRegistry() {
    tFileRegistry->count = 0;
    tFileRegistry->opens = 0;
    tFileRegistry->writes = 0;
    for (FileRecord& r : tFileRegistry->records) r = FileRecord{nullptr, kFileFree};
}

namespace {

// Every open of a job, of a file or of memory, takes a record and may be made to fail.
template <typename Open>
FILE* OpenTracked(Open open) {
    ++tFileRegistry->opens;
    if (Injected(gRegistryFaults.failOpen == tFileRegistry->opens)) return nullptr;
    if (tFileRegistry->count >= kFileRecords) return nullptr;
    FILE* stream = open();
    if (stream == nullptr) return nullptr;
    tFileRegistry->records[tFileRegistry->count++] = FileRecord{stream, kFileOpen};
    return stream;
}

// 1,800,000 bits and the headers around them.
constexpr size_t kStreamReserve = size_t{256} << 10;

// A stream written into memory: every write appends to the buffer.
ssize_t AppendToBuffer(void* cookie, const char* bytes, size_t length) {
    auto* buffer = static_cast<std::vector<unsigned char>*>(cookie);
    try {
        buffer->insert(buffer->end(), bytes, bytes + length);
    } catch (const std::bad_alloc&) {
        return 0;  // read by stdio as a failed write
    }
    return static_cast<ssize_t>(length);
}

}  // namespace

FILE* TrackedOpen(const char* path, const char* mode) {
    return OpenTracked([&] { return std::fopen(path, mode); });
}

FILE* OpenJobSource(const char* path) {
    if (tJob->source.bytes == nullptr) return TrackedOpen(path, "rb");
    // Opened for reading only: stdio never writes through the pointer.
    void* bytes = const_cast<unsigned char*>(tJob->source.bytes);
    const size_t size = static_cast<size_t>(tJob->source.size);
    tJob->source.opened = OpenTracked([&] { return fmemopen(bytes, size, "rb"); });
    return tJob->source.opened;
}

const unsigned char* JobSourceBytes(FILE* file) {
    const SourceBytes& source = tJob->source;
    return source.bytes != nullptr && file != nullptr && file == source.opened ? source.bytes
                                                                               : nullptr;
}

FILE* OpenJobStream(const char* path) {
    std::vector<unsigned char>* buffer = tJob->streamBuffer;
    if (buffer == nullptr) return TrackedOpen(path, "wb");
    buffer->clear();
    try {
        // Room for the largest stream at once: growing by doubling would copy and touch it twice.
        buffer->reserve(kStreamReserve);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    const cookie_io_functions_t io{nullptr, AppendToBuffer, nullptr, nullptr};
    return OpenTracked([&] { return fopencookie(buffer, "wb", io); });
}

void DiscardJobStream(const char* path) {
    if (tJob->streamBuffer != nullptr)
        tJob->streamBuffer->clear();
    else
        std::remove(path);
}

void TrackedClose(FILE* stream) {
    if (stream == nullptr) return;
    std::fclose(stream);
    for (int i = 0; i < tFileRegistry->count; ++i) {
        if (tFileRegistry->records[i].stream == stream) {
            int last = tFileRegistry->count - 1;
            tFileRegistry->records[i] = tFileRegistry->records[last];
            tFileRegistry->records[last] = FileRecord{nullptr, kFileFree};
            tFileRegistry->count = last;
            break;
        }
    }
}

void CloseAllTracked() {
    for (FileRecord& r : tFileRegistry->records) {
        if (r.state == kFileFree) break;
        if (r.stream != nullptr) std::fclose(r.stream);
        r = FileRecord{nullptr, kFileFree};
    }
    tFileRegistry->count = 0;
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
    ++tFileRegistry->writes;
    const int64_t failAt = gRegistryFaults.failWrite;
    if (Injected(failAt != 0 && tFileRegistry->writes >= failAt)) return 0;
    if (length == 1) return putc(*static_cast<const unsigned char*>(bytes), stream) == EOF ? 0 : 1;
    return fwrite(bytes, 1, length, stream);
}
