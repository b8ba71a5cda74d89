// An instance's working memory: its jobs' large blocks are carved from a few mappings the instance
// keeps, advised for the kernel's 2 MiB pages. A job then takes its megabytes from the kernel in
// a handful of faults rather than one per 4 KiB page, and a later job of the instance in none.
#ifndef PICTOR_RUNTIME_WORKING_MEMORY_H
#define PICTOR_RUNTIME_WORKING_MEMORY_H

#include <cstdint>

constexpr int kWorkChunks = 16;
constexpr uint64_t kLargePageBytes = uint64_t{2} << 20;

// Blocks are carved upwards from `base`; `used` falls back to the start when the last block
// carved is given back, and to 0 when no block is live. Below `dirty` the bytes may have been
// written; above it they are still the mapping's zeroes.
struct WorkChunk {
    unsigned char* base;
    uint64_t bytes;
    uint64_t used;
    uint64_t dirty;
    int32_t live;
    int32_t mapped;  // 1: this record unmaps it; 0: its owner does (the instance's first chunk)
};
struct WorkingMemory {
    int32_t chunkCount;
    WorkChunk chunks[kWorkChunks];
};

// `bytes` rounded up to whole large pages, mapped at a large-page boundary, zero-filled; null
// when the system gives no memory.
[[nodiscard]] void* MapLargePages(uint64_t bytes);
void UnmapLargePages(void* base, uint64_t bytes);
// `bytes` rounded up as MapLargePages maps them.
[[nodiscard]] uint64_t LargePageSpan(uint64_t bytes);

// `bytes` of a mapping owned elsewhere become `memory`'s first chunk.
void AdoptChunk(WorkingMemory* memory, void* base, uint64_t bytes);
// A zero-filled block of at least `bytes`, carved from a chunk with room or from a new one; null
// when neither can be had. `holds` is set to the bytes given back with it.
[[nodiscard]] void* CarveBlock(WorkingMemory* memory, uint64_t bytes, uint64_t* holds);
// Whether `block` was carved from `memory`; when it was, it is given back.
[[nodiscard]] bool GiveBackBlock(WorkingMemory* memory, const void* block, uint64_t holds);
// Bytes of the chunks `memory` keeps between jobs.
[[nodiscard]] uint64_t ChunkBytes(const WorkingMemory& memory);
// Every chunk `memory` mapped, unmapped; the instance's end.
void ReleaseWorkingMemory(WorkingMemory* memory);

#endif
