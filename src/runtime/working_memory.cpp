#include "runtime/working_memory.h"

#include <sys/mman.h>

#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define PICTOR_POISONS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PICTOR_POISONS 1
#endif
#endif
#ifdef PICTOR_POISONS
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// Chunks are mapped in this size at least, so a job's blocks share a few large pages.
constexpr uint64_t kChunkBytes = uint64_t{4} << 20;
// Larger requests than any picture needs are refused (as the registry refuses them).
constexpr uint64_t kLargestSpan = uint64_t{1} << 31;
// Blocks start on cache lines, one line apart, so a read past a block's end under the address
// sanitizer lands on poisoned bytes.
constexpr uint64_t kBlockAlign = 64;

// Bytes no block owns are poisoned for the address sanitizer, as the C library's heap is.
void MarkOwned(const void* at, uint64_t bytes, bool owned) {
#ifdef PICTOR_POISONS
    if (owned)
        ASAN_UNPOISON_MEMORY_REGION(at, bytes);
    else
        ASAN_POISON_MEMORY_REGION(at, bytes);
#else
    (void)at, (void)bytes, (void)owned;
#endif
}

// The leak checker looks for pointers in the C library's heap, stacks and static storage; an
// instance's records lie in a mapping, so every mapping is shown to it as well.
void ShowToLeakChecker(const void* at, uint64_t bytes, bool shown) {
#ifdef PICTOR_POISONS
    if (shown)
        __lsan_register_root_region(at, static_cast<size_t>(bytes));
    else
        __lsan_unregister_root_region(at, static_cast<size_t>(bytes));
#else
    (void)at, (void)bytes, (void)shown;
#endif
}

uint64_t CarvedSpan(uint64_t bytes) {
    return ((bytes + kBlockAlign - 1) & ~(kBlockAlign - 1)) + kBlockAlign;
}

WorkChunk* ChunkWithRoom(WorkingMemory* memory, uint64_t span) {
    for (int i = 0; i < memory->chunkCount; ++i) {
        WorkChunk& c = memory->chunks[i];
        if (c.bytes - c.used >= span) return &c;
    }
    if (memory->chunkCount == kWorkChunks) return nullptr;
    const uint64_t bytes = LargePageSpan(span > kChunkBytes ? span : kChunkBytes);
    void* base = bytes != 0 ? MapLargePages(bytes) : nullptr;
    if (base == nullptr) return nullptr;
    WorkChunk& c = memory->chunks[memory->chunkCount++];
    c = WorkChunk{static_cast<unsigned char*>(base), bytes, 0, 0, 0, 1};
    MarkOwned(base, bytes, false);
    return &c;
}

}  // namespace

uint64_t LargePageSpan(uint64_t bytes) {
    if (bytes == 0 || bytes > kLargestSpan) return 0;
    return (bytes + kLargePageBytes - 1) & ~(kLargePageBytes - 1);
}

void* MapLargePages(uint64_t bytes) {
    const uint64_t span = LargePageSpan(bytes);
    if (span == 0) return nullptr;
    // Mapped one large page longer, then trimmed at both ends to large-page boundaries.
    const size_t reserve = static_cast<size_t>(span + kLargePageBytes);
    void* raw = mmap(nullptr, reserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t mask = static_cast<uintptr_t>(kLargePageBytes - 1);
    const uintptr_t aligned = (start + mask) & ~mask;
    const uintptr_t end = aligned + static_cast<uintptr_t>(span);
    if (aligned > start) munmap(raw, aligned - start);
    if (start + reserve > end) munmap(reinterpret_cast<void*>(end), start + reserve - end);
#ifdef MADV_HUGEPAGE
    // Only a hint: where the system gives no large pages the mapping works in small ones.
    (void)madvise(reinterpret_cast<void*>(aligned), static_cast<size_t>(span), MADV_HUGEPAGE);
#endif
    ShowToLeakChecker(reinterpret_cast<void*>(aligned), span, true);
    return reinterpret_cast<void*>(aligned);
}

void UnmapLargePages(void* base, uint64_t bytes) {
    if (base == nullptr) return;
    // The sanitizer's marks go with the mapping, or a later mapping at the address inherits them.
    MarkOwned(base, LargePageSpan(bytes), true);
    ShowToLeakChecker(base, LargePageSpan(bytes), false);
    munmap(base, static_cast<size_t>(LargePageSpan(bytes)));
}

void AdoptChunk(WorkingMemory* memory, void* base, uint64_t bytes) {
    memory->chunks[0] = WorkChunk{static_cast<unsigned char*>(base), bytes, 0, 0, 0, 0};
    memory->chunkCount = 1;
    MarkOwned(base, bytes, false);
}

void* CarveBlock(WorkingMemory* memory, uint64_t bytes, uint64_t* holds) {
    const uint64_t span = CarvedSpan(bytes);
    WorkChunk* c = ChunkWithRoom(memory, span);
    if (c == nullptr) return nullptr;
    unsigned char* block = c->base + c->used;
    MarkOwned(block, bytes, true);
    // Only what an earlier block wrote needs zeroes; the rest is as the kernel mapped it.
    if (c->used < c->dirty)
        std::memset(block, 0, c->dirty - c->used < bytes ? c->dirty - c->used : bytes);
    c->used += span;
    if (c->dirty < c->used) c->dirty = c->used;
    ++c->live;
    *holds = span;
    return block;
}

bool GiveBackBlock(WorkingMemory* memory, const void* block, uint64_t holds) {
    const auto* at = static_cast<const unsigned char*>(block);
    for (int i = 0; i < memory->chunkCount; ++i) {
        WorkChunk& c = memory->chunks[i];
        if (at < c.base || at >= c.base + c.bytes) continue;
        MarkOwned(at, holds, false);
        if (--c.live == 0)
            c.used = 0;
        else if (at + holds == c.base + c.used)
            c.used -= holds;
        return true;
    }
    return false;
}

uint64_t ChunkBytes(const WorkingMemory& memory) {
    uint64_t bytes = 0;
    for (int i = 0; i < memory.chunkCount; ++i) bytes += memory.chunks[i].bytes;
    return bytes;
}

void ReleaseWorkingMemory(WorkingMemory* memory) {
    for (int i = 0; i < memory->chunkCount; ++i) {
        WorkChunk& c = memory->chunks[i];
        if (c.mapped == 1)
            UnmapLargePages(c.base, c.bytes);
        else
            MarkOwned(c.base, c.bytes, true);
        c = WorkChunk{};
    }
    memory->chunkCount = 0;
}
