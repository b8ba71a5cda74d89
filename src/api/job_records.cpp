#include "api/job_records.h"

#include "api/job.h"
#include "api/registry.h"
#include "control/encoder.h"
#include "convert/planes.h"
#include "messages/message_names.h"
#include "params/job_switches.h"
#include "params/settings.h"
#include "tiff/tiff_fields.h"

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
