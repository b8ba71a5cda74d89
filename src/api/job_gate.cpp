#include "api/job_gate.h"

#include <chrono>

JobGate gJobGate;

namespace {
// How long a waiting job sleeps between two looks at its cancel word.
constexpr std::chrono::milliseconds kCancelPollInterval{5};
}  // namespace

bool EnterJobGate(const int32_t* cancel) {
    std::unique_lock<std::mutex> guard(gJobGate.lock);
    // A free gate is taken at once, whatever the cancel word says: the job itself polls it.
    for (;;) {
        if (gJobGate.freed.wait_for(guard, kCancelPollInterval, [] { return !gJobGate.held; })) {
            gJobGate.held = true;
            return true;
        }
        if (cancel != nullptr && __atomic_load_n(cancel, __ATOMIC_RELAXED) == 1) return false;
    }
}

void LeaveJobGate() {
    {
        std::lock_guard<std::mutex> guard(gJobGate.lock);
        gJobGate.held = false;
    }
    gJobGate.freed.notify_one();
}
