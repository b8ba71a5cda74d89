// Puts the library's state back to its start between tests.
#ifndef PICTOR_TESTS_SUPPORT_STATE_H
#define PICTOR_TESTS_SUPPORT_STATE_H

// Ends the job's helper thread, frees what the registries hold, closes their files, and runs the
// job's own reset (the reporter bound to no text); the carried search value too, so no test
// depends on the one before.
void ResetAllState();

#endif
