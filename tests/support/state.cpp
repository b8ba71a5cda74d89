#include "support/state.h"

#include "api/instance.h"
#include "api/job_records.h"
#include "control/threshold_search.h"
#include "parallel/job_threads.h"
#include "runtime/registry.h"

void ResetAllState() {
    BindInstance(DefaultInstance());
    EndJobThreads();
    FreeAllTracked();
    CloseAllTracked();
    ResetJobRecords();
    ResetCarriedSearchState();
}
