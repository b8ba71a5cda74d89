#include "params/settings.h"

#include "messages/codes.h"
#include "messages/message_names.h"
#include "messages/report.h"

thread_local EncoderSettings* tSettings = nullptr;

void SetDefaultSettings() {
    EncoderSettings& s = *tSettings;
    s.FrameWidth = 720;
    s.FrameHeight = 480;
    s.XMBlock = 45;
    s.YMBlock = 30;
    s.MBlockPerSlice = 45;
    s.DisplayHorDimen = 720;
    s.DisplayVerDimen = 480;
    s.ChromaFormat = 1;
    s.IFixedQstep = 4;
    s.Qmax = 31;
    s.IntraDCPrecision = 0;
    s.load_intra_qmatrix_SH = 1;
    s.load_nonintra_qmatrix_SH = 0;
    s.BUFFER = 1835008;
    s.PelAspectRatio = 2;
    s.FrameRate = 30;
    s.FrameRate_s = 4;
    s.ProfileLevel = 72;
    s.ProgressiveSeque = 0;
    s.LowDelay = 0;
    s.ConstrainedParams = 0;
    s.FrameRateExt_n = 0;
    s.FrameRateExt_d = 0;
    s.VideoFormat = 2;
    s.ColorDescription = 1;
    s.PictureStructure = 3;
    s.TopFieldFirst = 1;
    s.FramePredDct = 1;
    s.ConcealMV = 0;
    s.QScaleType = 0;
    s.AltIntraTable = 1;
    s.AltScan = 0;
    s.RepeatFirstField = 0;
    s.Chroma420Type = 1;
    s.ProgressiveFrame = 1;
    s.composite_display_flag = 0;
    s.PanScan = 0;
}

int DeriveSettings() {
    EncoderSettings& s = *tSettings;
    s.MaxMBBits = s.ChromaFormat == 2 ? 6144 : 4608;
    s.MBCount = s.XMBlock * s.YMBlock;
    s.CodedXOffset = (s.FrameWidth - 16 * s.XMBlock) / 2;
    s.CodedYOffset = (s.FrameHeight - 16 * s.YMBlock) / 2;

    int32_t width = 16 * s.XMBlock;
    if (width > 16384) {
        Report<kMsgWidthNotSupported>(width, tMessageNames->pictureName);
        return -1;
    }
    // A zero width has no message of its own: no accepted picture reaches it.
    if (width % 4096 == 0) return -1;
    s.HorizontalSizeValue = width % 4096;
    s.HorizontalSizeExtension = width / 4096;

    int32_t height = 16 * s.YMBlock;
    if (height > 16384) {
        Report<kMsgHeightNotSupported>(height, tMessageNames->pictureName);
        return -1;
    }
    if (height % 4096 == 0) {
        Report<kMsgVerticalSize>(tMessageNames->pictureName);
        return -1;
    }
    s.VerticalSizeValue = height % 4096;
    s.VerticalSizeExtension = height / 4096;

    s.BitRateValue = 11468;
    s.BitRateExtension = 0;

    int32_t n = s.BUFFER / 16 / 1024;
    if (n > 262144) {
        Report<kMsgVbvBufferSize>(n, tMessageNames->pictureName);
        return -1;
    }
    s.VbvBufferSizeValue = n % 1024;
    s.VbvBufferSizeExtension = n / 1024;

    // One offset per frame shown in a progressive sequence (a repeated first field shows the
    // frame twice, or three times with the top field first), else one per field shown.
    if (s.ProgressiveSeque == 1) {
        s.FrameCentreOffsets = s.RepeatFirstField == 1 ? (s.TopFieldFirst == 1 ? 3 : 2) : 1;
    } else if (s.PictureStructure != 3) {
        s.FrameCentreOffsets = 1;
    } else {
        s.FrameCentreOffsets = s.RepeatFirstField == 1 ? 3 : 2;
    }
    return 0;
}
