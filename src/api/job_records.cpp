#include "api/job_records.h"

#include <cstdint>

#include "api/job.h"
#include "api/registry.h"
#include "coding/bit_writer.h"
#include "coding/intra_matrix.h"
#include "coding/macroblock_coder.h"
#include "control/rate_control.h"
#include "control/threshold_search.h"
#include "convert/planes.h"
#include "messages/message_names.h"
#include "params/job_switches.h"
#include "params/settings.h"
#include "tiff/tiff_fields.h"

namespace {

void ResetEncoderRecords() {
    gBitWriter.out = nullptr;
    ResetBitWriter();
    StartCodeList();
    ResetIntraMatrix();
    ResetRunningDc();
    ResetMacroblockBits();
    const int32_t lastEstimateQ = gThreshold.lastEstimateQ;
    ResetThresholdState();
    gThreshold.lastEstimateQ = lastEstimateQ;
}

}  // namespace

void ResetJobRecords() {
    ResetJobPointers();
    ResetAllocRegistry();
    ResetFileRegistry();
    ResetJobSwitches();
    ResetMessageNames();
    gSettings = EncoderSettings{};
    SetDefaultSettings();
    ResetPicturePlanes();
    ResetTiffFields();
    ResetEncoderRecords();
}
