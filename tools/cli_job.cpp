// One job on a worker thread, watched from the main thread.
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "cli.h"
#include "library_rules.h"

namespace {

volatile sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) { gInterrupted = 1; }

// The first Ctrl-C asks the job to stop; the handler then resets itself, so a
// second one ends the program at once.
void CatchInterrupts(struct sigaction* oldInt, struct sigaction* oldTerm) {
    gInterrupted = 0;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, oldInt);
    sigaction(SIGTERM, &action, oldTerm);
}

void RestoreInterrupts(const struct sigaction* oldInt, const struct sigaction* oldTerm) {
    sigaction(SIGINT, oldInt, nullptr);
    sigaction(SIGTERM, oldTerm, nullptr);
}

const char* StageName(int progress) {
    if (progress < 10) return "reading the picture";
    if (progress < 70) return "analysing";
    if (progress < 80) return "coding pass 1";
    if (progress < 90) return "coding pass 2";
    if (progress < 100) return "final pass";
    return "done";
}

void DrawBar(int progress, bool cancelling) {
    constexpr int kWidth = 30;
    int filled = progress * kWidth / 100;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%% %-22s", bar, progress,
                 cancelling ? "cancelling..." : StageName(progress));
    std::fflush(stderr);
}

void Pause() {
    struct timespec delay = {0, 40 * 1000 * 1000};
    nanosleep(&delay, nullptr);
}

}  // namespace

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

int RunJobWatched(JobContext* context, const JobFlags& flags, bool* cancelRequested) {
    struct sigaction oldInt, oldTerm;
    CatchInterrupts(&oldInt, &oldTerm);
    std::atomic<bool> done(false);
    int result = PICTOR_FAILED;
    std::thread worker([&] {
        // Interrupts go to the watching thread, never into the job's file reads.
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGINT);
        sigaddset(&blocked, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
        result = Pictor(context);
        done.store(true);
    });

    const bool bar = !flags.quiet && isatty(STDERR_FILENO);
    const bool lines = !flags.quiet && !bar;
    int shown = -1;
    bool cancelling = false;
    while (!done.load()) {
        if (gInterrupted && !cancelling) {
            __atomic_store_n(&context->cancel, 1, __ATOMIC_RELAXED);
            cancelling = true;
            if (lines) std::fprintf(stderr, "pictor: cancelling...\n");
            if (bar) shown = -1;  // redraw with the new state
        }
        int progress = __atomic_load_n(&context->progress, __ATOMIC_RELAXED);
        if (progress != shown && progress != 100) {
            if (bar) DrawBar(progress, cancelling);
            if (lines) std::fprintf(stderr, "pictor: %d%% %s\n", progress, StageName(progress));
            shown = progress;
        }
        Pause();
    }
    worker.join();
    RestoreInterrupts(&oldInt, &oldTerm);
    if (bar) {
        if (result == PICTOR_FINISHED) DrawBar(100, false);
        std::fputc('\n', stderr);
    } else if (lines && result == PICTOR_FINISHED) {
        std::fprintf(stderr, "pictor: 100%% done\n");
    }
    *cancelRequested = cancelling;
    return result;
}

int ReportOutcome(int result, bool cancelRequested, const std::string& errorText,
                  const std::string& streamPath) {
    std::fputs(errorText.c_str(), stderr);
    if (result == PICTOR_CANCELLED && cancelRequested) {
        std::fprintf(stderr, "pictor: cancelled\n");
        return kExitCancelled;
    }
    if (result == PICTOR_CANCELLED) {
        // The library ends a job this way also when the stream cannot be
        // written or a coding pass fails; nobody asked it to stop.
        std::fprintf(
            stderr,
            "pictor: the job stopped unfinished: %s cannot be written, or a coding pass failed\n",
            streamPath.c_str());
    } else if (errorText.empty()) {
        std::fprintf(stderr, "pictor: the job failed without a message (out of memory?)\n");
    }
    return kExitFailed;
}
