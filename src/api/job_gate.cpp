#include "api/job_gate.h"

#include <chrono>

JobGate gJobGate;

namespace {
// How long a waiting job sleeps between two looks at its cancel word.
constexpr std::chrono::milliseconds kCancelPollInterval{5};
}  // namespace

bool EnterJobGate(const int32_t* cancel) {
    // A free gate is taken at once, whatever the cancel word says: the job itself polls it.
    for (;;) {
        if (gJobGate.held.try_lock_for(kCancelPollInterval)) return true;
        if (cancel != nullptr && __atomic_load_n(cancel, __ATOMIC_RELAXED) == 1) return false;
    }
}

void LeaveJobGate() { gJobGate.held.unlock(); }
