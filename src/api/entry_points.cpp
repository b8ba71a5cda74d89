// The two exported entry points.
#include <cstring>

#include "api/instance.h"
#include "api/job_driver.h"
#include "api/job_gate.h"
#include "api/job_records.h"
#include "api/library_context.h"
#include "pictor/pictor.h"
#include "runtime/job.h"
#include "runtime/registry.h"

LibraryContext gLibraryContext;

namespace {

void CopyArgument(char* to, size_t toSize, const char* from) {
    if (from == nullptr) from = "";
    size_t n = strnlen(from, toSize - 1);
    std::memcpy(to, from, n);
    to[n] = '\0';
}

}  // namespace

extern "C" PICTOR_API int Pictor(JobContext* context) {
    if (context == nullptr) return -1;
    // While another job runs this one waits, shown as running with nothing done yet, and may be
    // cancelled by its caller before it starts.
    // A caller that sees status 2 with an acquiring load also sees the emptied error text.
    if (context->errorText != nullptr) context->errorText[0] = '\0';
    __atomic_store_n(&context->status, PICTOR_RUNNING, __ATOMIC_RELEASE);
    __atomic_store_n(&context->progress, 0, __ATOMIC_RELAXED);
    if (!EnterJobGate(&context->cancel)) {
        std::memset(context->streamPath, 0, sizeof context->streamPath);
        __atomic_store_n(&context->status, PICTOR_CANCELLED, __ATOMIC_RELAXED);
        __atomic_store_n(&context->progress, 100, __ATOMIC_RELAXED);
        return PICTOR_CANCELLED;
    }
    BindInstance(DefaultInstance());
    ResetJobRecords(context->errorText);
    __atomic_store_n(&context->status, PICTOR_RUNNING, __ATOMIC_RELAXED);
    __atomic_store_n(&context->progress, 0, __ATOMIC_RELAXED);
    AttachJob(context);
    std::memset(context->streamPath, 0, sizeof context->streamPath);

    const int result = RunJob(context);

    FreeAllTracked();
    CloseAllTracked();
    int status = result == 0 ? PICTOR_FINISHED : result == 1 ? PICTOR_CANCELLED : PICTOR_FAILED;
    __atomic_store_n(&context->status, status, __ATOMIC_RELAXED);
    __atomic_store_n(&context->progress, 100, __ATOMIC_RELAXED);
    LeaveJobGate();
    return result;
}

extern "C" PICTOR_API int PictorForDA(const char* workDir, const char* jobFileName,
                                      const char* streamPath, int extendedAnalysis) {
    // Nobody can cancel these jobs: a second one waits until the first has ended.
    if (!EnterJobGate(nullptr)) return PICTOR_FAILED;
    gLibraryContext = LibraryContext{};
    BindInstance(DefaultInstance());
    ResetJobRecords(gLibraryContext.errorText);
    JobContext* context = &gLibraryContext.context;
    context->progress = 0;
    context->status = PICTOR_RUNNING;
    AttachJob(context);
    context->errorText = gLibraryContext.errorText;
    context->cancel = 0;
    CopyArgument(context->jobFileName, sizeof context->jobFileName, jobFileName);
    CopyArgument(context->workDir, sizeof context->workDir, workDir);
    CopyArgument(context->streamPath, sizeof context->streamPath, streamPath);
    context->extendedAnalysis = extendedAnalysis;

    const int result = RunJob(context);

    context->progress = 0;
    FreeAllTracked();
    CloseAllTracked();
    LeaveJobGate();
    return result;
}
