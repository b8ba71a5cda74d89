#include "params/job_switches.h"

JobSwitches gSwitches;

void ResetJobSwitches() { gSwitches = JobSwitches{}; }
