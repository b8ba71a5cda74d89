// An instance's helper thread: started by the first split of the instance's first job that has
// one, asleep on its condition variable between tasks, ended with the instance.
#include "parallel/job_threads.h"

#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <atomic>
#include <chrono>
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
    bool retired = false;  // ended for good: later splits run on the calling thread alone
    pid_t startedBy = 0;   // the process whose thread `thread` is
    bool stop = false;
    uint64_t posted = 0;  // tasks posted
    uint64_t taken = 0;   // tasks the helper has started or that were closed without it
    bool active = false;  // the helper is inside a task
    std::atomic<uint64_t> postedSignal{0};  // `posted`, for a helper waiting awake
    std::atomic<bool> keptAwake{false};     // its poster's record's keptAwake, at the last post
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

// How long a helper kept awake waits for its next task before it sleeps.
constexpr auto kAwakeWait = std::chrono::microseconds(100);

// Until a task after the `seen`-th is posted (true), the helper is no longer kept awake, or
// kAwakeWait has passed.
bool WaitAwake(JobHelper* h, uint64_t seen) {
    const auto end = std::chrono::steady_clock::now() + kAwakeWait;
    while (h->keptAwake.load(std::memory_order_relaxed) && std::chrono::steady_clock::now() < end) {
        if (h->postedSignal.load(std::memory_order_acquire) != seen) return true;
#if defined(__x86_64__) || defined(__i386__)
        _mm_pause();
#endif
    }
    return false;
}

// Asleep until a task is posted: a task's hand-over is one wake, and a helper that wakes late
// finds its task closed and sleeps again. Kept awake, it first waits a while without sleeping.
void HelperLoop(JobHelper* h, JobThreadsRecord record) {
    // The helper works on its instance's records, as the thread that posts the tasks does.
    record.bindOwner(record.owner);
    std::unique_lock<std::mutex> lock(h->mutex);
    for (;;) {
        // A task the calling thread closed before the helper saw it is waited past too.
        while (h->keptAwake.load(std::memory_order_relaxed) && !h->stop && h->taken == h->posted) {
            const uint64_t seen = h->posted;
            lock.unlock();
            const bool posted = WaitAwake(h, seen);
            lock.lock();
            if (!posted) break;
        }
        h->wake.wait(lock, [h] { return h->stop || h->taken != h->posted; });
        if (h->stop) return;
        h->taken = h->posted;
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

// The task posted to the record's helper, started if it is not running; null when the helper
// was retired.
JobHelper* PostTask(JobThreadsRecord* record, void (*work)(void*, int32_t), void* context,
                    int32_t chunks) {
    if (record->helper == nullptr) record->helper = new JobHelper;
    JobHelper* h = ForgetHelperOfParent(record->helper);
    {
        std::lock_guard<std::mutex> lock(h->mutex);
        if (h->retired) return nullptr;
        if (!h->started) {
            h->stop = false;
            h->thread = std::thread(HelperLoop, h, *record);
            h->started = true;
            h->startedBy = getpid();
        }
        h->work = work;
        h->context = context;
        h->chunks = chunks;
        h->next.store(0, std::memory_order_relaxed);
        ++h->posted;
        h->keptAwake.store(record->keptAwake, std::memory_order_relaxed);
        h->postedSignal.store(h->posted, std::memory_order_release);
    }
    h->wake.notify_one();
    return h;
}

// Stops and joins the helper of `record`; with `retire`, no split starts it again.
void StopHelper(JobThreadsRecord* record, bool retire) {
    if (record->helper == nullptr) return;
    JobHelper* h = ForgetHelperOfParent(record->helper);
    {
        std::lock_guard<std::mutex> lock(h->mutex);
        h->retired = h->retired || retire;
        if (!h->started || h->stop) return;
        h->stop = true;
    }
    h->wake.notify_one();
    h->thread.join();
    std::lock_guard<std::mutex> lock(h->mutex);
    h->started = false;
    h->stop = false;
}

}  // namespace

int JobThreads() {
    static const int threads = ChooseJobThreads();
    return threads;
}

void RunChunks(void (*work)(void* context, int32_t chunk), void* context, int32_t chunks) {
    JobHelper* h = nullptr;
    if (JobThreads() >= 2 && chunks >= 2) h = PostTask(tJobThreads, work, context, chunks);
    if (h == nullptr) {
        for (int32_t c = 0; c < chunks; ++c) work(context, c);
        return;
    }
    TakeChunks(h);
    std::unique_lock<std::mutex> lock(h->mutex);
    // A helper that has not woken for this task will not start it.
    h->taken = h->posted;
    h->finished.wait(lock, [h] { return !h->active; });
}

KeptAwake::KeptAwake() {
    if (tJobThreads != nullptr) tJobThreads->keptAwake = true;
}

KeptAwake::~KeptAwake() {
    if (tJobThreads == nullptr) return;
    tJobThreads->keptAwake = false;
    if (tJobThreads->helper != nullptr)
        tJobThreads->helper->keptAwake.store(false, std::memory_order_relaxed);
}

void EndJobThreads() {
    if (tJobThreads != nullptr) StopHelper(tJobThreads, false);
}

void RetireJobThreads(JobThreadsRecord* record) { StopHelper(record, true); }

void DestroyJobThreads(JobThreadsRecord* record) {
    StopHelper(record, true);
    delete record->helper;
    record->helper = nullptr;
}
