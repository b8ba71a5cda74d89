// An encoder instance: every record a job touches, what carries from one of its jobs to the
// next, and the working memory it keeps. A job's stages reach the records through the pointers
// that BindInstance sets on the job's thread (and on the instance's helper thread), so jobs on
// different instances share nothing and need no lock between them.
#ifndef PICTOR_API_INSTANCE_H
#define PICTOR_API_INSTANCE_H

#include <atomic>
#include <vector>

#include "coding/bit_writer.h"
#include "coding/macroblock_coder.h"
#include "coding/quantise.h"
#include "control/analysis.h"
#include "control/bit_estimate.h"
#include "control/rate_control.h"
#include "control/threshold_search.h"
#include "convert/planes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "parallel/job_threads.h"
#include "params/job_switches.h"
#include "params/settings.h"
#include "runtime/job.h"
#include "runtime/registry.h"
#include "tiff/tiff_fields.h"
#include "tiff/tiff_reader_state.h"

struct PictorEncoder {
    // The job's records: ResetJobRecords puts them back before each job.
    JobPointers job;
    AllocRegistry allocRegistry;
    FileRegistry fileRegistry;
    ReporterState reporter;
    MessageNames messageNames;
    JobSwitches switches;
    EncoderSettings settings;
    TiffFields tiffFields;
    TiffReaderState tiffReader;
    PicturePlanes planes;
    AnalysisState analysis;
    SearchEstimate estimate;
    ThresholdState threshold;
    EstimateMemo memo;
    MacroblockBits macroblockBits;
    IntraMatrix intraMatrix;
    RunningDc runningDc;
    BitWriter bitWriter;
    CodeList codeList;

    // Carried from job to job: only ResetCarriedSearchState or a new instance clears it.
    CarriedSearchState carriedSearch;
    // Kept from job to job: the helper thread's record and the memory a stream is coded into.
    JobThreadsRecord threads;
    std::vector<unsigned char> streamBuffer;

    // True while a job of the instance runs; a second call is refused, never kept waiting.
    std::atomic<bool> busy;
};

// A new instance, its records zeroed; null when there is no memory for it.
[[nodiscard]] PictorEncoder* CreateInstance();
// Ends the instance's helper thread and frees the instance and the blocks it keeps.
void DestroyInstance(PictorEncoder* encoder);
// The instance that the two entry points share, behind the job gate.
[[nodiscard]] PictorEncoder* DefaultInstance();
// Points this thread's record pointers at `encoder`'s records.
void BindInstance(PictorEncoder* encoder);

#endif
