// Allocation and file registries: everything a job takes is released at its end.
#ifndef PICTOR_RUNTIME_REGISTRY_H
#define PICTOR_RUNTIME_REGISTRY_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "runtime/working_memory.h"

constexpr int kAllocRecords = 20000;
constexpr int kFileRecords = 1000;

struct AllocRecord {
    void* block;
    int32_t inUse;   // 1 = owned
    uint32_t bytes;  // what the block holds (at most 2^30)
};
// Records are handed out in order and never reused within a job; those at or past `count` are
// empty, so a job's reset and release touch only the records it used. Blocks of
// kCarvedBlockBytes or more are carved from `memory`, which the instance keeps, so the next job
// does not take the same pages from the kernel again.
struct AllocRegistry {
    AllocRecord* records;  // kAllocRecords of them, taken at the instance's first allocation
    int32_t count;
    WorkingMemory memory;
};
constexpr uint64_t kCarvedBlockBytes = 16384;
extern thread_local AllocRegistry* tAllocRegistry;

enum { kFileOpen = 0, kFileFree = 1 };
struct FileRecord {
    FILE* stream;
    int32_t state;
};
// Open files always occupy records 0 .. count-1. `opens` and `writes` count the calls of
// TrackedOpen and TrackedWrite in the current job.
struct FileRegistry {
    FileRecord records[kFileRecords];
    int32_t count;
    int64_t opens;
    int64_t writes;
};
extern thread_local FileRegistry* tFileRegistry;

// The job's records emptied; the working memory stays.
void ResetAllocRegistry();
// Zero-filled block of count x size bytes; null on failure (which still uses a record).
[[nodiscard]] void* TrackedAlloc(uint64_t count, uint64_t size);
void TrackedFree(void* block);
void FreeAllTracked();
// Blocks still owned by the registry (for tests and checks).
[[nodiscard]] int TrackedBlocks();
// Bytes of working memory `registry` keeps between jobs.
[[nodiscard]] uint64_t KeptBlockBytes(const AllocRegistry& registry);
// The working memory `registry` mapped and its records back to the system; the instance's end.
void ReleaseAllocRegistry(AllocRegistry* registry);

void ResetFileRegistry();
[[nodiscard]] FILE* TrackedOpen(const char* path, const char* mode);
void TrackedClose(FILE* stream);
// The job's source picture for reading: the caller's bytes when the job was given them in
// memory, else the file at `path`.
[[nodiscard]] FILE* OpenJobSource(const char* path);
// The caller's bytes behind `file` when OpenJobSource opened it over them; null otherwise.
[[nodiscard]] const unsigned char* JobSourceBytes(FILE* file);
// The job's stream for writing from its first byte: the instance's stream buffer when the job
// codes into memory, else the file at `path`.
[[nodiscard]] FILE* OpenJobStream(const char* path);
// What OpenJobStream wrote, gone: a failed job leaves no stream.
void DiscardJobStream(const char* path);
void CloseAllTracked();
// TrackedOpen that reports code 2 with the path on failure; 0 or -1.
[[nodiscard]] int OpenOrReport(const char* path, const char* mode, FILE** out);
// Where every byte of the output stream reaches its file: `length` bytes of `bytes`; how many
// were written.
[[nodiscard]] size_t TrackedWrite(const void* bytes, size_t length, FILE* stream);

// Failures for tests to inject, counted within each job from its first call (0: none). They stay
// set from job to job until a test clears them: no job resets them.
struct RegistryFaults {
    int32_t failAllocation;  // the n-th TrackedAlloc gives no block (and still uses a record)
    int64_t failOpen;        // the n-th TrackedOpen opens nothing
    int64_t failWrite;  // the n-th TrackedWrite and every later one write nothing (a full disk)
    int32_t progressAtFailure;  // the job's progress when an injected failure last happened
};
extern RegistryFaults gRegistryFaults;

#endif
