// One job at a time in a process: every job's state is process-wide, so each entry point holds
// the gate from before its job's reset until after its release.
#ifndef PICTOR_API_JOB_GATE_H
#define PICTOR_API_JOB_GATE_H

#include <condition_variable>
#include <cstdint>
#include <mutex>

// Never reset: it outlives every job it orders. `held` is true while a job holds the gate; it
// is read and written only under `lock`, and `freed` wakes the jobs that wait for it.
struct JobGate {
    std::mutex lock;
    std::condition_variable freed;
    bool held = false;
};
extern JobGate gJobGate;

// Takes the gate, waiting while another job holds it: true. While it waits it reads `cancel`
// (when not null) between short waits and gives up when the word is 1: false.
[[nodiscard]] bool EnterJobGate(const int32_t* cancel);
void LeaveJobGate();

#endif
