// Allocation and file registries: everything a job takes is released at its end.
#ifndef PICTOR_API_REGISTRY_H
#define PICTOR_API_REGISTRY_H

#include <cstdint>
#include <cstdio>

constexpr int kAllocRecords = 20000;
constexpr int kFileRecords = 1000;

struct AllocRecord {
    void* block;
    int32_t inUse;  // 1 = owned
};
// Records are handed out in order and never reused within a job.
struct AllocRegistry {
    AllocRecord records[kAllocRecords];
    int32_t count;
};
extern AllocRegistry gAllocRegistry;

enum { kFileOpen = 0, kFileFree = 1 };
struct FileRecord {
    FILE* stream;
    int32_t state;
};
// Open files always occupy records 0 .. count-1.
struct FileRegistry {
    FileRecord records[kFileRecords];
    int32_t count;
};
extern FileRegistry gFileRegistry;

void ResetAllocRegistry();
// Zero-filled block of count x size bytes; null on failure (which still uses a record).
[[nodiscard]] void* TrackedAlloc(uint64_t count, uint64_t size);
void TrackedFree(void* block);
void FreeAllTracked();
// Blocks still owned by the registry (for tests and checks).
[[nodiscard]] int TrackedBlocks();

void ResetFileRegistry();
[[nodiscard]] FILE* TrackedOpen(const char* path, const char* mode);
void TrackedClose(FILE* stream);
void CloseAllTracked();
// TrackedOpen that reports code 2 with the path on failure; 0 or -1.
[[nodiscard]] int OpenOrReport(const char* path, const char* mode, FILE** out);

#endif
