#include "support/state.h"

#include "api/job.h"
#include "api/registry.h"
#include "control/encoder.h"
#include "control/threshold_search.h"
#include "convert/planes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "parallel/job_threads.h"
#include "params/job_switches.h"
#include "params/settings.h"
#include "tiff/tiff_fields.h"

void ResetAllState() {
    EndJobThreads();
    FreeAllTracked();
    CloseAllTracked();
    ResetAllocRegistry();
    ResetFileRegistry();
    ResetJobPointers();
    ResetJobSwitches();
    ResetMessageNames();
    ResetPicturePlanes();
    ResetTiffFields();
    BindErrorText(nullptr, kModulePictor);
    SetDefaultSettings();
    ResetEncoderRecords();
    ResetCarriedSearchState();
}
