#include "support/state.h"

#include "api/job.h"
#include "api/job_driver.h"
#include "api/registry.h"
#include "coding/bit_writer.h"
#include "coding/macroblock_coder.h"
#include "coding/quantise.h"
#include "coding/tables.h"
#include "control/rate_control.h"
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
    gBitWriter.out = nullptr;
    ResetBitWriter();
    StartCodeList();
    ResetIntraMatrix();
    ResetRunningDc();
    ResetMacroblockBits();
    ResetThresholdState();
}
