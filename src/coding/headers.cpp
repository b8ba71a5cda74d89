// Stream headers of the one-picture sequence, from the derived settings.
#include "coding/headers.h"

#include "coding/bit_writer.h"
#include "coding/tables.h"
#include "params/settings_record.h"

namespace {

constexpr uint32_t kPictureStartCode = 0x100;
constexpr uint32_t kSequenceHeaderCode = 0x1B3;
constexpr uint32_t kExtensionStartCode = 0x1B5;
constexpr uint32_t kSequenceEndCode = 0x1B7;
constexpr uint32_t kGroupStartCode = 0x1B8;

constexpr uint32_t kSequenceExtensionId = 1;
constexpr uint32_t kSequenceDisplayExtensionId = 2;
constexpr uint32_t kPictureDisplayExtensionId = 7;
constexpr uint32_t kPictureCodingExtensionId = 8;

constexpr uint32_t kIntraCoded = 1;  // picture_coding_type I
constexpr uint32_t kVbvDelayUnset = 0xFFFF;
constexpr uint32_t kNoMotionVectors = 15;    // f_code
constexpr uint32_t kTimeCodeZero = 1 << 12;  // 00:00:00:00, its marker bit set

// The fixed-length syntax elements, by width in bits, in the order the stream carries them.
constexpr SyntaxElement kStartCode{32};
constexpr SyntaxElement kMarkerBit{1};
constexpr SyntaxElement kExtensionStartCodeIdentifier{4};
// sequence_header()
constexpr SyntaxElement kHorizontalSizeValue{12};
constexpr SyntaxElement kVerticalSizeValue{12};
constexpr SyntaxElement kAspectRatioInformation{4};
constexpr SyntaxElement kFrameRateCode{4};
constexpr SyntaxElement kBitRateValue{18};
constexpr SyntaxElement kVbvBufferSizeValue{10};
constexpr SyntaxElement kConstrainedParametersFlag{1};
constexpr SyntaxElement kLoadIntraQuantiserMatrix{1};
constexpr SyntaxElement kIntraQuantiserMatrixEntry{8};
constexpr SyntaxElement kLoadNonIntraQuantiserMatrix{1};
// sequence_extension()
constexpr SyntaxElement kProfileAndLevelIndication{8};
constexpr SyntaxElement kProgressiveSequence{1};
constexpr SyntaxElement kChromaFormat{2};
constexpr SyntaxElement kHorizontalSizeExtension{2};
constexpr SyntaxElement kVerticalSizeExtension{2};
constexpr SyntaxElement kBitRateExtension{12};
constexpr SyntaxElement kVbvBufferSizeExtension{8};
constexpr SyntaxElement kLowDelay{1};
constexpr SyntaxElement kFrameRateExtensionN{2};
constexpr SyntaxElement kFrameRateExtensionD{5};
// sequence_display_extension()
constexpr SyntaxElement kVideoFormat{3};
constexpr SyntaxElement kColourDescription{1};
constexpr SyntaxElement kColourPrimaries{8};
constexpr SyntaxElement kTransferCharacteristics{8};
constexpr SyntaxElement kMatrixCoefficients{8};
constexpr SyntaxElement kDisplayHorizontalSize{14};
constexpr SyntaxElement kDisplayVerticalSize{14};
// group_of_pictures_header()
constexpr SyntaxElement kTimeCode{25};
constexpr SyntaxElement kClosedGop{1};
constexpr SyntaxElement kBrokenLink{1};
// picture_header()
constexpr SyntaxElement kTemporalReference{10};
constexpr SyntaxElement kPictureCodingType{3};
constexpr SyntaxElement kVbvDelay{16};
constexpr SyntaxElement kExtraBitPicture{1};
// picture_coding_extension()
constexpr SyntaxElement kFCode{4};
constexpr SyntaxElement kIntraDcPrecision{2};
constexpr SyntaxElement kPictureStructure{2};
constexpr SyntaxElement kTopFieldFirst{1};
constexpr SyntaxElement kFramePredFrameDct{1};
constexpr SyntaxElement kConcealmentMotionVectors{1};
constexpr SyntaxElement kQScaleType{1};
constexpr SyntaxElement kIntraVlcFormat{1};
constexpr SyntaxElement kAlternateScan{1};
constexpr SyntaxElement kRepeatFirstField{1};
constexpr SyntaxElement kChroma420Type{1};
constexpr SyntaxElement kProgressiveFrame{1};
constexpr SyntaxElement kCompositeDisplayFlag{1};
// picture_display_extension()
constexpr SyntaxElement kFrameCentreHorizontalOffset{16};
constexpr SyntaxElement kFrameCentreVerticalOffset{16};

void WriteSequenceExtension(const EncoderSettings& s) {
    Put(kStartCode, kExtensionStartCode);
    Put(kExtensionStartCodeIdentifier, kSequenceExtensionId);
    Put(kProfileAndLevelIndication, s.ProfileLevel);
    Put(kProgressiveSequence, s.ProgressiveSeque);
    Put(kChromaFormat, s.ChromaFormat);
    Put(kHorizontalSizeExtension, s.HorizontalSizeExtension);
    Put(kVerticalSizeExtension, s.VerticalSizeExtension);
    Put(kBitRateExtension, s.BitRateExtension);
    Put(kMarkerBit, 1);
    Put(kVbvBufferSizeExtension, s.VbvBufferSizeExtension);
    Put(kLowDelay, s.LowDelay);
    Put(kFrameRateExtensionN, s.FrameRateExt_n);
    Put(kFrameRateExtensionD, s.FrameRateExt_d);
    AlignToByte();
}

void WritePictureCodingExtension(const EncoderSettings& s) {
    Put(kStartCode, kExtensionStartCode);
    Put(kExtensionStartCodeIdentifier, kPictureCodingExtensionId);
    for (int i = 0; i < 4; ++i) Put(kFCode, kNoMotionVectors);
    Put(kIntraDcPrecision, s.IntraDCPrecision);
    Put(kPictureStructure, s.PictureStructure);
    Put(kTopFieldFirst, s.TopFieldFirst);
    Put(kFramePredFrameDct, s.FramePredDct);
    Put(kConcealmentMotionVectors, s.ConcealMV);
    Put(kQScaleType, s.QScaleType);
    Put(kIntraVlcFormat, s.AltIntraTable);
    Put(kAlternateScan, s.AltScan);
    Put(kRepeatFirstField, s.RepeatFirstField);
    Put(kChroma420Type, s.Chroma420Type);
    Put(kProgressiveFrame, s.ProgressiveFrame);
    Put(kCompositeDisplayFlag, s.composite_display_flag);
    AlignToByte();
}

void WritePictureDisplayExtension(const EncoderSettings& s) {
    Put(kStartCode, kExtensionStartCode);
    Put(kExtensionStartCodeIdentifier, kPictureDisplayExtensionId);
    for (int i = 0; i < s.FrameCentreOffsets; ++i) {
        Put(kFrameCentreHorizontalOffset, s.PanScanHorOffset);
        Put(kMarkerBit, 1);
        Put(kFrameCentreVerticalOffset, s.PanScanVerOffset);
        Put(kMarkerBit, 1);
    }
}

}  // namespace

void WriteSequenceHeader(const EncoderSettings& s, const int32_t* intraMatrix) {
    AlignToByte();
    Put(kStartCode, kSequenceHeaderCode);
    Put(kHorizontalSizeValue, s.HorizontalSizeValue);
    Put(kVerticalSizeValue, s.VerticalSizeValue);
    Put(kAspectRatioInformation, s.PelAspectRatio);
    Put(kFrameRateCode, s.FrameRate_s);
    Put(kBitRateValue, s.BitRateValue);
    Put(kMarkerBit, 1);
    Put(kVbvBufferSizeValue, s.VbvBufferSizeValue);
    Put(kConstrainedParametersFlag, s.ConstrainedParams);
    Put(kLoadIntraQuantiserMatrix, s.load_intra_qmatrix_SH);
    if (s.load_intra_qmatrix_SH != 0) {
        for (int k = 0; k < 64; ++k) {
            const ScanPosition p = kZigZagScan[k];
            Put(kIntraQuantiserMatrixEntry, intraMatrix[p.column + 8 * p.row]);
        }
    }
    Put(kLoadNonIntraQuantiserMatrix, s.load_nonintra_qmatrix_SH);
    AlignToByte();
    WriteSequenceExtension(s);
}

void WriteSequenceDisplayExtension(const EncoderSettings& s) {
    Put(kStartCode, kExtensionStartCode);
    Put(kExtensionStartCodeIdentifier, kSequenceDisplayExtensionId);
    Put(kVideoFormat, s.VideoFormat);
    Put(kColourDescription, s.ColorDescription);
    if (s.ColorDescription != 0) {
        Put(kColourPrimaries, s.ColourPrimaries);
        Put(kTransferCharacteristics, s.TransferCharact);
        Put(kMatrixCoefficients, s.MatrixCoefficients);
    }
    Put(kDisplayHorizontalSize, s.DisplayHorDimen);
    Put(kMarkerBit, 1);
    Put(kDisplayVerticalSize, s.DisplayVerDimen);
    AlignToByte();
}

void WriteGopHeader() {
    Put(kStartCode, kGroupStartCode);
    Put(kTimeCode, kTimeCodeZero);
    Put(kClosedGop, 0);
    Put(kBrokenLink, 0);
    AlignToByte();
}

void WritePictureHeader(const EncoderSettings& s) {
    Put(kStartCode, kPictureStartCode);
    Put(kTemporalReference, 0);
    Put(kPictureCodingType, kIntraCoded);
    Put(kVbvDelay, kVbvDelayUnset);
    Put(kExtraBitPicture, 0);
    AlignToByte();
    WritePictureCodingExtension(s);
    if (s.PanScan == 1) WritePictureDisplayExtension(s);
    AlignToByte();
}

void WriteSequenceEnd() { Put(kStartCode, kSequenceEndCode); }
