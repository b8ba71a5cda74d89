// The encoder settings record: every coding parameter of the picture, known by its key. The
// primitives take it read-only; params/ fills it.
#ifndef PICTOR_PARAMS_SETTINGS_RECORD_H
#define PICTOR_PARAMS_SETTINGS_RECORD_H

#include <cstdint>

#include "platform/float_model.h"

struct EncoderSettings {
    // Picture geometry
    int32_t FrameWidth;
    int32_t FrameHeight;
    int32_t XMBlock;
    int32_t YMBlock;
    int32_t MBlockPerSlice;
    int32_t DisplayHorDimen;
    int32_t DisplayVerDimen;
    int32_t ChromaFormat;
    // Coding control
    int32_t Target;
    int32_t IFixedQstep;
    int32_t Qmax;
    int32_t IntraDCPrecision;
    int32_t load_intra_qmatrix_SH;
    int32_t load_nonintra_qmatrix_SH;
    int32_t BUFFER;
    // Sequence header and extensions
    int32_t PelAspectRatio;
    int32_t FrameRate;
    int32_t FrameRate_s;
    int32_t ProfileLevel;
    int32_t ProgressiveSeque;
    int32_t LowDelay;
    int32_t ConstrainedParams;
    int32_t FrameRateExt_n;
    int32_t FrameRateExt_d;
    int32_t VideoFormat;
    int32_t ColorDescription;
    int32_t ColourPrimaries;
    int32_t TransferCharact;
    int32_t MatrixCoefficients;
    // Picture coding and display extensions
    int32_t PictureStructure;
    int32_t TopFieldFirst;
    int32_t FramePredDct;
    int32_t ConcealMV;
    int32_t QScaleType;
    int32_t AltIntraTable;
    int32_t AltScan;
    int32_t RepeatFirstField;
    int32_t Chroma420Type;
    int32_t ProgressiveFrame;
    int32_t composite_display_flag;
    int32_t PanScan;
    int32_t PanScanHorOffset;
    int32_t PanScanVerOffset;
    // Derived by DeriveSettings
    int32_t MaxMBBits;
    int32_t MBCount;
    int32_t CodedXOffset;
    int32_t CodedYOffset;
    int32_t HorizontalSizeValue;
    int32_t HorizontalSizeExtension;
    int32_t VerticalSizeValue;
    int32_t VerticalSizeExtension;
    int32_t BitRateValue;
    int32_t BitRateExtension;
    int32_t VbvBufferSizeValue;
    int32_t VbvBufferSizeExtension;
    int32_t FrameCentreOffsets;  // number_of_frame_centre_offsets of a pan-scan picture
};

#endif
