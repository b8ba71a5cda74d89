// One job on a thread of its own, watched from the calling thread.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "cli_files.h"
#include "cli_job.h"
#include "door/library_door.h"

namespace {

constexpr int kProgressPollMs = 100;  // how often a running job's progress is looked at

volatile sig_atomic_t gInterrupted = 0;
volatile sig_atomic_t gSecondEnds = 0;
int gInterruptPipe[2] = {-1, -1};

void OnInterrupt(int signal) {
    const int saved = errno;
    if (gInterrupted != 0 && gSecondEnds != 0) {
        // A second request ends the program at once, its work folders removed first.
        RemoveWorkDirsNow();
        std::signal(signal, SIG_DFL);
        raise(signal);
        return;
    }
    gInterrupted = 1;
    const char wake = 1;
    if (write(gInterruptPipe[1], &wake, 1) < 0) {
        // The pipe is full: it is readable already.
    }
    errno = saved;
}

thread_local std::string* tOutput = nullptr;

// Standard output's writes: kept by the writing thread's ThreadOutput, else written through.
ssize_t WriteOutput(void*, const char* data, size_t size) {
    if (tOutput != nullptr) {
        tOutput->append(data, size);
        return static_cast<ssize_t>(size);
    }
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(STDOUT_FILENO, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done > 0 ? static_cast<ssize_t>(done) : -1;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(size);
}

}  // namespace

void RouteOutputByThread() {
    static std::once_flag once;
    std::call_once(once, [] {
        cookie_io_functions_t io{nullptr, WriteOutput, nullptr, nullptr};
        FILE* routed = fopencookie(nullptr, "w", io);
        if (routed == nullptr) return;
        // Unbuffered: every print reaches WriteOutput on the thread that made it.
        std::setvbuf(routed, nullptr, _IONBF, 0);
        std::fflush(stdout);
        stdout = routed;
    });
}

ThreadOutput::ThreadOutput(std::string* into) : previous_(tOutput) { tOutput = into; }

ThreadOutput::~ThreadOutput() { tOutput = previous_; }

void CatchInterrupts(bool secondEnds) {
    for (int& fd : gInterruptPipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    gInterrupted = 0;
    if (pipe2(gInterruptPipe, O_NONBLOCK | O_CLOEXEC) != 0) gInterruptPipe[0] = -1;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    // No SA_RESTART: a wait for a reader or a write into a pipe returns at once.
    action.sa_flags = 0;
    gSecondEnds = secondEnds ? 1 : 0;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() { return gInterrupted != 0; }

int InterruptFd() { return gInterruptPipe[0]; }

std::unique_ptr<JobContext> NewJobContext(const std::string& workDir,
                                          const std::string& jobFileName, const JobFlags& flags,
                                          char* errorText) {
    if (workDir.size() > rules::kMaxWorkDir || jobFileName.size() > rules::kMaxJobFileName)
        return nullptr;
    auto context = std::make_unique<JobContext>();
    std::memset(context.get(), 0, sizeof(JobContext));
    std::memcpy(context->workDir, workDir.c_str(), workDir.size() + 1);
    std::memcpy(context->jobFileName, jobFileName.c_str(), jobFileName.size() + 1);
    context->errorText = errorText;
    context->extendedAnalysis = flags.extendedAnalysis;
    context->progressiveStill = flags.progressiveStill;
    context->levelMode = flags.levelMode;
    return context;
}

int RunJobWatched(JobContext* context, JobReporter* reporter, bool* cancelRequested,
                  std::string* output) {
    int done[2];
    if (pipe2(done, O_CLOEXEC) != 0) return PICTOR_FAILED;
    int result = PICTOR_FAILED;
    std::thread worker([&] {
        // Interrupts go to the watching thread, never into the job's file reads.
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGINT);
        sigaddset(&blocked, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
        ThreadOutput caught(output);
        result = Pictor(context);
        close(done[1]);  // wakes the watcher
    });

    bool cancelling = false;
    for (bool running = true; running;) {
        if (Interrupted() && !cancelling) {
            __atomic_store_n(&context->cancel, 1, __ATOMIC_RELAXED);
            cancelling = true;
        }
        reporter->Progress(__atomic_load_n(&context->progress, __ATOMIC_RELAXED), cancelling);
        struct pollfd waits[2] = {{done[0], POLLIN, 0}, {InterruptFd(), POLLIN, 0}};
        // Once cancelling, the interrupt descriptor stays readable: wait for the end only.
        const int count = cancelling || InterruptFd() < 0 ? 1 : 2;
        if (poll(waits, count, kProgressPollMs) > 0 && waits[0].revents != 0) running = false;
    }
    worker.join();
    close(done[0]);
    *cancelRequested = cancelling;
    return result;
}
