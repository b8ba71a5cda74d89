// Every record a job uses, and its one reset.
//
// The job's records, each held by the encoder instance (api/instance.h), reached through the
// thread-bound pointer its owner's header declares, and reset by ResetJobRecords alone:
//   runtime/   tJob (progress and cancel words, memory source and stream), tAllocRegistry,
//              tFileRegistry
//   messages/  tReporter (bound to the job's error text), tMessageNames
//   params/    tSwitches, tSettings
//   tiff/      tTiffFields, tTiffReader
//   convert/   tPlanes
//   control/   tAnalysis, tEstimate, tThreshold, tMemo, tMacroblockBits
//   coding/    tIntraMatrix, tRunningDc, tBitWriter, tCodeList
// No stage resets any of them behind the entry points; a stage may only restart what it owns
// within the job (the bit writer before each final attempt).
//
// The instance's, kept from job to job:
//   tCarriedSearch (control/threshold_search.h): the extended rule's last estimate quantiser,
//     which a later search compares with its own to skip an estimate it takes to be repeated.
//   tJobThreads (parallel/job_threads.h): the helper thread, started by the instance's first
//     split, asleep between tasks, ended with the instance.
//   the stream buffer a memory job codes into, and the working memory its large blocks are
//     carved from (in tAllocRegistry, which ResetAllocRegistry leaves alone).
//
// Process-wide, never reset by a job:
//   gJobGate (api/job_gate.h): one job at a time through the two entry points, which share
//     the process-default instance.
//   gLibraryContext (api/library_context.h): PictorForDA's own context, rewritten by it alone.
//   gRegistryFaults (runtime/registry.h): test hook, the n-th allocation, open or write fails.
//   CpuHasAvx2, CpuHasAvx512f (platform/cpu_features.h): the processor's features.
//   ChosenDctVariant (coding/transform.h, PICTOR_DCT), JobThreads (parallel/job_threads.h,
//     PICTOR_THREADS): chosen at first use; neither changes a stream byte.
#ifndef PICTOR_API_JOB_RECORDS_H
#define PICTOR_API_JOB_RECORDS_H

// Run by both entry points before anything else of a job: every record above back to its state
// before a job, the reporter bound to `errorText` (which may be null). As cheap as the records
// allow: the registries clear only the records the last job used, the settings are zeroed then
// given their defaults, and the extended rule's analysis tables are left to that rule, which
// zeroes them as it starts.
void ResetJobRecords(char* errorText = nullptr);

#endif
