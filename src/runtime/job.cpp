#include "runtime/job.h"

JobPointers gJob;

void ResetJobPointers() { gJob = JobPointers{}; }

void AttachJob(JobContext* context) {
    gJob.context = context;
    gJob.progress = &context->progress;
    gJob.cancel = &context->cancel;
}

void SetProgress(int percent) {
    if (gJob.progress != nullptr) __atomic_store_n(gJob.progress, percent, __ATOMIC_RELAXED);
    if (gJob.progressObserver != nullptr) gJob.progressObserver(percent);
}

int CancelRequested() {
    return gJob.cancel != nullptr && __atomic_load_n(gJob.cancel, __ATOMIC_RELAXED) == 1;
}
