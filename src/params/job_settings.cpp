// The second half of the job parameter step: the settings that follow from the job file and
// from the converted picture.
#include <cstdint>

#include "messages/codes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "params/job_file.h"
#include "params/job_switches.h"
#include "params/settings.h"
#include "tiff/picture_sizes.h"

namespace {

// The picture's size against the aspect ratio and the television standard.
void CheckPictureSize(JobParameters* job) {
    const int32_t w = tSettings->FrameWidth;
    const int32_t h = tSettings->FrameHeight;
    const PictureWidth* width = FindPictureWidth(w);
    const PictureHeight* height = FindPictureHeight(h);
    const char* jobName = tMessageNames->jobFileName;
    if (job->aspect == kAspect16x9) {
        if (width != nullptr && !width->wide) {
            Report<kMsgSizeAspect>(w, h, jobName);
            job->failed = 1;
        }
        if (height != nullptr && !height->wide) {
            Report<kMsgSizeAspect>(w, h, jobName);
            job->failed = 1;
        }
    }
    if (job->seenFrameRate && height != nullptr) {
        if (!height->pal && job->standard == kStandardPal) {
            Report<kMsgSizePal>(w, h, jobName);
            job->failed = 1;
        } else if (height->pal && job->standard == kStandardNtsc) {
            Report<kMsgSizeNtsc>(w, h, jobName);
            job->failed = 1;
        }
    }
}

// Display size, aspect ratio and the pan-scan window.
void FillDisplaySettings(JobParameters* job) {
    EncoderSettings& s = *tSettings;
    int aspect = job->aspect;
    if (s.FrameWidth == 720 || s.FrameWidth == 704) {
        s.DisplayHorDimen = 720;
    } else if (s.FrameWidth == 352) {
        s.DisplayHorDimen = 360;
    } else {
        s.DisplayHorDimen = s.FrameWidth;
    }
    if (job->panScanOn) {
        // The 4:3 window of a 16:9 picture: the sequence itself is then 4:3.
        if (s.FrameWidth == 720 || s.FrameWidth == 704) {
            s.PanScan = 1;
            s.DisplayHorDimen = 540;
            aspect = kAspect4x3;
        } else {
            Report<kMsgWidthPanScan>(s.FrameWidth, tMessageNames->jobFileName);
            job->failed = 1;
        }
    }
    s.PelAspectRatio = aspect;
    s.DisplayVerDimen = s.FrameHeight;
}

// Frame rate and colour description of the television standard.
void FillStandardSettings(const JobParameters& job) {
    EncoderSettings& s = *tSettings;
    int colourCode = 0;
    if (job.standard == kStandardNtsc) {
        s.FrameRate = 30;
        s.FrameRate_s = 4;
        s.VideoFormat = 2;
        colourCode = 6;
    } else if (job.standard == kStandardPal) {
        s.FrameRate = 25;
        s.FrameRate_s = 3;
        s.VideoFormat = 1;
        colourCode = 5;
    }
    s.ProfileLevel = 72;
    if (job.standard != kStandardUnset) {
        s.ColourPrimaries = colourCode;
        s.TransferCharact = colourCode;
        s.MatrixCoefficients = colourCode;
    }
}

void FillPanScanOffsets(const JobParameters& job) {
    EncoderSettings& s = *tSettings;
    int32_t vector = job.panScanVector;
    const int32_t limit = s.FrameWidth == 720 ? 1440 : s.FrameWidth == 704 ? 1312 : 0;
    if (limit != 0) {
        if (vector > limit) vector = limit;
        if (vector < -limit) vector = -limit;
    }
    // frame_centre_horizontal_offset is a 16-bit two's-complement field.
    if (vector < 0) vector = static_cast<int32_t>(static_cast<uint32_t>(vector) & 0xFFFFu);
    s.PanScanHorOffset = vector;
    s.PanScanVerOffset = 0;
}

void FillScanSettings() {
    EncoderSettings& s = *tSettings;
    s.PictureStructure = 3;
    s.ProgressiveFrame = 1;
    s.FramePredDct = 1;
    s.Chroma420Type = 1;
    // An interlaced frame needs a whole number of field macroblock rows.
    if (tSwitches->progressiveStill || s.FrameHeight % 32 != 0) {
        s.ProgressiveSeque = 1;
        s.TopFieldFirst = 0;
    } else {
        s.ProgressiveSeque = 0;
        s.TopFieldFirst = 1;
    }
    s.RepeatFirstField = 0;
}

}  // namespace

void SetPictureSize(uint32_t width, uint32_t height) {
    EncoderSettings& s = *tSettings;
    s.FrameWidth = static_cast<int32_t>(width);
    s.FrameHeight = static_cast<int32_t>(height);
    s.XMBlock = s.FrameWidth / 16;
    s.MBlockPerSlice = s.FrameWidth / 16;
    s.YMBlock = s.FrameHeight / 16;
}

int SettleJobSettings(JobParameters* job, PictureSize picture) {
    if (job->seenSource) {
        SetPictureSize(picture.width, picture.height);
        CheckPictureSize(job);
    }
    FillDisplaySettings(job);
    FillStandardSettings(*job);
    if (job->panScanOn && job->seenVector) FillPanScanOffsets(*job);
    FillScanSettings();
    return job->failed ? -1 : 0;
}
