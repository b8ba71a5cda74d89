// Puts every piece of process-wide state back to its start.
#ifndef PICTOR_TESTS_SUPPORT_STATE_H
#define PICTOR_TESTS_SUPPORT_STATE_H

// Frees what the registries hold, closes their files, and resets every record.
void ResetAllState();

#endif
