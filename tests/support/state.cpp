#include "support/state.h"

#include "api/job.h"
#include "api/job_driver.h"
#include "api/registry.h"
#include "control/encoder.h"
#include "control/threshold_search.h"
#include "convert/planes.h"
#include "messages/report.h"
#include "params/settings.h"
#include "tiff/tiff_fields.h"

void ResetAllState() {
    FreeAllTracked();
    CloseAllTracked();
    ResetAllocRegistry();
    ResetFileRegistry();
    ResetJobPointers();
    ResetJobSwitches();
    ResetPicturePlanes();
    ResetTiffFields();
    BindErrorText(nullptr, kModulePictor);
    SetDefaultSettings();
    ResetEncoderRecords();
    ResetCarriedSearchState();
}
