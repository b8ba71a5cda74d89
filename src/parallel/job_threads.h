// The job's threads: a stage may split its work into chunks that the calling thread and one
// helper thread take in turn. Each chunk touches only its own part of the data, and the stage
// merges the chunks' results in chunk order, so no result depends on which thread took which
// chunk, or on how many threads there are.
#ifndef PICTOR_PARALLEL_JOB_THREADS_H
#define PICTOR_PARALLEL_JOB_THREADS_H

#include <cstdint>

struct JobHelper;
// An instance's helper: its thread, started at the instance's first split and asleep between
// tasks until the instance ends, and how that thread binds the instance's records to itself.
struct JobThreadsRecord {
    JobHelper* helper;  // made at the first split, kept until DestroyJobThreads
    void (*bindOwner)(void* owner);
    void* owner;
    bool keptAwake;  // a KeptAwake lives on the thread that posts the tasks
};
// The record of the instance whose job runs on this thread.
extern thread_local JobThreadsRecord* tJobThreads;

// Threads a job uses: PICTOR_THREADS (1 or 2) when it is set, else 2 where the processor runs two
// threads at once, else 1. Fixed for the life of the process.
[[nodiscard]] int JobThreads();

// work(context, chunk) for every chunk 0 .. chunks - 1, on the calling thread and, with two job
// threads, on the helper too; returns when every chunk is done.
void RunChunks(void (*work)(void* context, int32_t chunk), void* context, int32_t chunks);

// The same with a callable: chunk -> void.
template <typename Work>
void RunChunks(int32_t chunks, Work& work) {
    RunChunks([](void* context, int32_t chunk) { (*static_cast<Work*>(context))(chunk); }, &work,
              chunks);
}

// While one lives on the calling thread, the bound instance's helper waits for its next task
// awake for a short while before it sleeps: for a stage that posts many short tasks in quick
// succession, whose hand-overs a wake from sleep would each delay.
class KeptAwake {
public:
    KeptAwake();
    ~KeptAwake();
    KeptAwake(const KeptAwake&) = delete;
    KeptAwake& operator=(const KeptAwake&) = delete;
};

// Stops the bound instance's helper thread, if one is running; its next split starts it again.
void EndJobThreads();
// Stops `record`'s helper thread for good: later splits run on the calling thread alone (the
// process-default instance's helper at the process's exit).
void RetireJobThreads(JobThreadsRecord* record);
// Stops `record`'s helper thread and frees its helper; the instance's end.
void DestroyJobThreads(JobThreadsRecord* record);

#endif
