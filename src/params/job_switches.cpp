#include "params/job_switches.h"

thread_local JobSwitches* tSwitches = nullptr;

void ResetJobSwitches() { *tSwitches = JobSwitches{}; }
