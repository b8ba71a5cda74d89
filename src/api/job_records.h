// One reset per job: every process-wide record a job uses back to its start.
#ifndef PICTOR_API_JOB_RECORDS_H
#define PICTOR_API_JOB_RECORDS_H

// Run by both entry points before anything else of a job. Resets the job pointers and both
// registries (api), the switches (params), the names that messages cite (messages), the
// encoder settings (params: zeroed, then their defaults), the picture planes (convert), the
// TIFF field record (tiff), and the bit writer, code list, working intra matrix, running DC,
// macroblock bit counts and threshold search record of the encoder (coding, control). The
// reporter is reset by the entry point's BindErrorText.
//
// One value crosses from job to job on purpose: the last estimate quantiser of the extended
// rule's matrix search (gCarriedSearch), which a later search compares with its own
// quantiser to skip an estimate it takes to be repeated.
void ResetJobRecords();

#endif
