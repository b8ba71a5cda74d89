#include "api/job_records.h"

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
#include "params/job_switches.h"
#include "params/settings.h"
#include "runtime/job.h"
#include "runtime/registry.h"
#include "tiff/tiff_fields.h"

void ResetJobRecords(char* errorText) {
    ResetJobPointers();
    ResetAllocRegistry();
    ResetFileRegistry();
    BindErrorText(errorText, kModulePictor);
    ResetMessageNames();
    ResetJobSwitches();
    *tSettings = EncoderSettings{};
    SetDefaultSettings();
    ResetTiffFields();  // and the reader's record
    ResetPicturePlanes();
    ResetAnalysis();
    ResetSearchEstimate();
    ResetThresholdState();
    ResetEstimateMemo();
    ResetMacroblockBits();
    ResetIntraMatrix();
    ResetRunningDc();
    ResetBitWriter();
    StartCodeList();
}
