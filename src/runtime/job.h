// Job-wide pointers: the running job's context and its progress and cancel words.
#ifndef PICTOR_RUNTIME_JOB_H
#define PICTOR_RUNTIME_JOB_H

#include <cstdint>
#include <cstdio>
#include <vector>

#include "pictor/pictor.h"

// A source picture held in the caller's memory.
struct SourceBytes {
    const unsigned char* bytes;  // null: the job reads its source file
    uint64_t size;
    FILE* opened;  // the last file OpenJobSource opened over the bytes
};

struct JobPointers {
    JobContext* context;
    int32_t* progress;  // written whole, read by the caller's other threads
    int32_t* cancel;    // written by the caller's other threads
    // Called after each progress step; only tests set it.
    void (*progressObserver)(int percent);
    SourceBytes source;
    std::vector<unsigned char>* streamBuffer;  // not null: the stream is coded into memory
};
extern thread_local JobPointers* tJob;

void ResetJobPointers();
// Points the job-wide pointers at `context` (its progress and cancel words).
void AttachJob(JobContext* context);
// Stores `percent` in the current job's progress word.
void SetProgress(int percent);
// 1 when the caller has asked the current job to stop (cancel word is 1).
[[nodiscard]] int CancelRequested();

#endif
