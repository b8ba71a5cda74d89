#include "runtime/job.h"

thread_local JobPointers* tJob = nullptr;

void ResetJobPointers() { *tJob = JobPointers{}; }

void AttachJob(JobContext* context) {
    tJob->context = context;
    tJob->progress = &context->progress;
    tJob->cancel = &context->cancel;
}

void SetProgress(int percent) {
    if (tJob->progress != nullptr) __atomic_store_n(tJob->progress, percent, __ATOMIC_RELAXED);
    if (tJob->progressObserver != nullptr) tJob->progressObserver(percent);
}

int CancelRequested() {
    return tJob->cancel != nullptr && __atomic_load_n(tJob->cancel, __ATOMIC_RELAXED) == 1;
}
