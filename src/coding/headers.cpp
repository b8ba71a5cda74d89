// Stream headers of the one-picture sequence.
#include "coding/headers.h"

#include "coding/bit_writer.h"
#include "coding/intra_matrix.h"
#include "coding/scan.h"
#include "params/settings.h"

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

constexpr int kFramePicture = 3;

// number_of_frame_centre_offsets of a frame picture; a repeated first field
// of an interlaced sequence would carry one offset more.
int FrameCentreOffsets() {
    const EncoderSettings& s = gSettings;
    if (s.ProgressiveSeque == 1)
        return s.RepeatFirstField == 1 ? (s.TopFieldFirst == 1 ? 3 : 2) : 1;
    if (s.PictureStructure != kFramePicture) return 1;
    return s.RepeatFirstField == 1 ? 3 : 2;
}

}  // namespace

void WriteQuantMatrix(const int32_t* matrix) {
    for (int k = 0; k < 64; ++k) {
        const ScanPosition p = kZigZagScan[k];
        PutBits(static_cast<uint32_t>(matrix[p.column + 8 * p.row]) & 0xFFu, 8);
    }
}

void WriteSequenceHeader() {
    const EncoderSettings& s = gSettings;
    const uint32_t width = static_cast<uint32_t>(16 * s.XMBlock);
    const uint32_t height = static_cast<uint32_t>(16 * s.YMBlock);
    const uint32_t vbv = static_cast<uint32_t>(s.BUFFER / 16 / 1024);

    AlignToByte();
    PutBits(kSequenceHeaderCode, 32);
    PutBits(width % 4096, 12);
    PutBits(height % 4096, 12);
    PutBits(static_cast<uint32_t>(s.PelAspectRatio), 4);
    PutBits(static_cast<uint32_t>(s.FrameRate_s), 4);
    PutBits(11468, 18);  // bit_rate_value, in units of 400 bit/s
    PutBits(1, 1);
    PutBits(vbv % 1024, 10);
    PutBits(static_cast<uint32_t>(s.ConstrainedParams), 1);
    PutBits(static_cast<uint32_t>(s.load_intra_qmatrix_SH), 1);
    if (s.load_intra_qmatrix_SH != 0) WriteQuantMatrix(gIntraMatrix.weights);
    PutBits(static_cast<uint32_t>(s.load_nonintra_qmatrix_SH), 1);
    AlignToByte();

    PutBits(kExtensionStartCode, 32);
    PutBits(kSequenceExtensionId, 4);
    PutBits(static_cast<uint32_t>(s.ProfileLevel), 8);
    PutBits(static_cast<uint32_t>(s.ProgressiveSeque), 1);
    PutBits(static_cast<uint32_t>(s.ChromaFormat), 2);
    PutBits(width / 4096, 2);
    PutBits(height / 4096, 2);
    PutBits(0, 12);  // bit_rate_extension
    PutBits(1, 1);
    PutBits(vbv / 1024, 8);
    PutBits(static_cast<uint32_t>(s.LowDelay), 1);
    PutBits(static_cast<uint32_t>(s.FrameRateExt_n), 2);
    PutBits(static_cast<uint32_t>(s.FrameRateExt_d), 5);
    AlignToByte();
}

void WriteSequenceDisplayExtension() {
    const EncoderSettings& s = gSettings;
    PutBits(kExtensionStartCode, 32);
    PutBits(kSequenceDisplayExtensionId, 4);
    PutBits(static_cast<uint32_t>(s.VideoFormat), 3);
    PutBits(static_cast<uint32_t>(s.ColorDescription), 1);
    if (s.ColorDescription != 0) {
        PutBits(static_cast<uint32_t>(s.ColourPrimaries), 8);
        PutBits(static_cast<uint32_t>(s.TransferCharact), 8);
        PutBits(static_cast<uint32_t>(s.MatrixCoefficients), 8);
    }
    PutBits(static_cast<uint32_t>(s.DisplayHorDimen), 14);
    PutBits(1, 1);
    PutBits(static_cast<uint32_t>(s.DisplayVerDimen), 14);
    AlignToByte();
}

void WriteGopHeader() {
    PutBits(kGroupStartCode, 32);
    PutBits(4096, 25);  // time_code 00:00:00:00 with its marker bit
    PutBits(0, 1);      // closed_gop
    PutBits(0, 1);      // broken_link
    AlignToByte();
}

void WritePictureHeader() {
    const EncoderSettings& s = gSettings;
    PutBits(kPictureStartCode, 32);
    PutBits(0, 10);       // temporal_reference
    PutBits(1, 3);        // picture_coding_type: intra
    PutBits(0xFFFF, 16);  // vbv_delay
    PutBits(0, 1);        // extra_bit_picture
    AlignToByte();

    PutBits(kExtensionStartCode, 32);
    PutBits(kPictureCodingExtensionId, 4);
    for (int i = 0; i < 4; ++i) PutBits(15, 4);  // f_code: no motion vectors
    PutBits(static_cast<uint32_t>(s.IntraDCPrecision), 2);
    PutBits(static_cast<uint32_t>(s.PictureStructure), 2);
    PutBits(static_cast<uint32_t>(s.TopFieldFirst), 1);
    PutBits(static_cast<uint32_t>(s.FramePredDct), 1);
    PutBits(static_cast<uint32_t>(s.ConcealMV), 1);
    PutBits(static_cast<uint32_t>(s.QScaleType), 1);
    PutBits(static_cast<uint32_t>(s.AltIntraTable), 1);
    PutBits(static_cast<uint32_t>(s.AltScan), 1);
    PutBits(static_cast<uint32_t>(s.RepeatFirstField), 1);
    PutBits(static_cast<uint32_t>(s.Chroma420Type), 1);
    PutBits(static_cast<uint32_t>(s.ProgressiveFrame), 1);
    PutBits(static_cast<uint32_t>(s.composite_display_flag), 1);
    AlignToByte();

    if (s.PanScan == 1) {
        PutBits(kExtensionStartCode, 32);
        PutBits(kPictureDisplayExtensionId, 4);
        const int offsets = FrameCentreOffsets();
        for (int i = 0; i < offsets; ++i) {
            PutBits(static_cast<uint32_t>(s.PanScanHorOffset), 16);
            PutBits(1, 1);
            PutBits(static_cast<uint32_t>(s.PanScanVerOffset), 16);
            PutBits(1, 1);
        }
    }
    AlignToByte();
}

void WriteSequenceEnd() { PutBits(kSequenceEndCode, 32); }
