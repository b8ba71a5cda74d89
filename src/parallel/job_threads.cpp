// An instance's helper thread: started by the first stage of a job that splits its work, ended
// with the job.
#include "parallel/job_threads.h"

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

thread_local JobThreadsRecord* tJobThreads = nullptr;

// The helper and the task it shares with the calling thread. A task's chunks are claimed one
// by one from `next`; the calling thread takes chunks until none are left, then waits only for
// a chunk the helper is still doing, so a helper that the scheduler keeps waiting delays nothing.
struct JobHelper {
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;      // a task is posted, or the helper is to stop
    std::condition_variable finished;  // the helper has left its task
    bool started = false;
    pid_t startedBy = 0;              // the process whose thread `thread` is
    std::atomic<bool> stop{false};    // changed under the lock; read by the helper's look too
    std::atomic<uint64_t> posted{0};  // tasks posted (changed under the lock)
    uint64_t taken = 0;               // tasks the helper has started or that were closed without it
    bool active = false;              // the helper is inside a task
    void (*work)(void*, int32_t) = nullptr;
    void* context = nullptr;
    int32_t chunks = 0;
    std::atomic<int32_t> next{0};
};

namespace {

// A child of fork has no helper thread, whatever the record it inherits says, and the record's
// lock may have been held by one: the child starts the record afresh in the same storage (the
// parent's thread is not the child's to join or end).
JobHelper* ForgetHelperOfParent(JobHelper* h) {
    if (h->started && h->startedBy != getpid()) new (h) JobHelper;
    return h;
}

void TakeChunks(JobHelper* h) {
    for (int32_t c = h->next.fetch_add(1); c < h->chunks; c = h->next.fetch_add(1))
        h->work(h->context, c);
}

// A stage's tasks follow each other within microseconds (the matrix search posts one per
// estimate), so the helper looks for the next a few hundred times (some hundred microseconds)
// before it sleeps.
constexpr int kLooksBeforeSleeping = 300;

void HelperLoop(JobHelper* h, JobThreadsRecord record) {
    // The helper works on its instance's records, as the thread that posts the tasks does.
    record.bindOwner(record.owner);
    std::unique_lock<std::mutex> lock(h->mutex);
    for (;;) {
        const uint64_t seen = h->taken;
        lock.unlock();
        // A stop ends the look at once: on a busy machine each yield may cost a time slice.
        for (int i = 0; i < kLooksBeforeSleeping && h->posted.load() == seen && !h->stop.load();
             ++i)
            std::this_thread::yield();
        lock.lock();
        h->wake.wait(lock, [h] { return h->stop || h->taken != h->posted.load(); });
        if (h->stop) return;
        h->taken = h->posted.load();
        h->active = true;
        lock.unlock();
        TakeChunks(h);
        lock.lock();
        h->active = false;
        h->finished.notify_one();
    }
}

int ChooseJobThreads() {
    if (const char* forced = std::getenv("PICTOR_THREADS")) {
        if (std::strcmp(forced, "1") == 0) return 1;
        if (std::strcmp(forced, "2") == 0) return 2;
    }
    return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

}  // namespace

int JobThreads() {
    static const int threads = ChooseJobThreads();
    return threads;
}

void RunChunks(void (*work)(void* context, int32_t chunk), void* context, int32_t chunks) {
    if (JobThreads() < 2 || chunks < 2) {
        for (int32_t c = 0; c < chunks; ++c) work(context, c);
        return;
    }
    JobThreadsRecord* record = tJobThreads;
    if (record->helper == nullptr) record->helper = new JobHelper;
    JobHelper* h = ForgetHelperOfParent(record->helper);
    {
        std::lock_guard<std::mutex> lock(h->mutex);
        if (!h->started) {
            h->stop = false;
            h->thread = std::thread(HelperLoop, h, *record);
            h->started = true;
            h->startedBy = getpid();
        }
        h->work = work;
        h->context = context;
        h->chunks = chunks;
        h->next.store(0);
        h->posted.fetch_add(1);
    }
    h->wake.notify_one();
    TakeChunks(h);
    std::unique_lock<std::mutex> lock(h->mutex);
    // A helper that has not woken for this task will not start it.
    h->taken = h->posted.load();
    h->finished.wait(lock, [h] { return !h->active; });
}

void EndJobThreads() {
    JobHelper* h = tJobThreads->helper;
    if (h == nullptr) return;
    h = ForgetHelperOfParent(h);
    {
        std::lock_guard<std::mutex> lock(h->mutex);
        if (!h->started) return;
        h->stop = true;
    }
    h->wake.notify_one();
    h->thread.join();
    std::lock_guard<std::mutex> lock(h->mutex);
    h->started = false;
    h->stop = false;
}

void DestroyJobThreads(JobThreadsRecord* record) {
    JobThreadsRecord* const bound = tJobThreads;
    tJobThreads = record;
    EndJobThreads();
    tJobThreads = bound;
    delete record->helper;
    record->helper = nullptr;
}
