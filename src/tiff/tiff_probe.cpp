#include "tiff/tiff_probe.h"

#include "messages/codes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "runtime/registry.h"
#include "tiff/tiff_detect.h"
#include "tiff/tiff_directory.h"
#include "tiff/tiff_strips.h"

namespace {

constexpr int kProbeTextBytes = 1024;

// The code of the text's first line, read back through the heading that wrote it; 0 for none.
int FirstCode(const char* text) {
    int code = 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    if (std::sscanf(text, tReporter->heading, &code) != 1) code = 0;
#pragma GCC diagnostic pop
    return code;
}

// The source type test, the directory and the strips' places, as a job meets them; 0, or -1
// after the first message.
int ReadProbedLayout(const char* path) {
    const int type = DetectSourceType(path);
    if (type == -1) return -1;
    if (type != 1) {
        Report<kMsgNotSupportedImage>(path);
        return -1;
    }
    FILE* file = OpenJobSource(path);
    if (file == nullptr) {
        Report<kMsgCannotOpenSource>(path);
        return -1;
    }
    int result = ReadTiffLayout(file, path);
    for (uint32_t s = 0; result == 0 && s < RasterStripCount(); ++s) {
        if (!StripInFile(s)) {
            Report<kMsgStripReadError>(tMessageNames->pictureName);
            result = -1;
        }
    }
    TrackedClose(file);
    return result;
}

void CopyFields(TiffProbe* out) {
    const TiffFields& f = *tTiffFields;
    out->width = f.imageWidth;
    out->height = f.imageLength;
    out->photometric = f.photometric;
    out->samplesPerPixel = f.samplesPerPixel;
    out->planarConfiguration = f.planarConfiguration;
    out->orientation = f.orientation;
    out->compression = f.compression;
    out->fillOrder = f.fillOrder;
    for (int i = 0; i < kBitsPerSamplePlaces; ++i) out->bitsPerSample[i] = f.bitsPerSample[i];
    out->rowsPerStrip = f.rowsPerStrip;
    out->fileSize = tTiffReader->fileSize;
    out->stripCount = f.stripCount;
    out->stripsRead = RasterStripCount();
    for (uint32_t s = 0; s < out->stripsRead; ++s)
        out->strips[s] = TiffStripRange{f.stripOffsets[s], f.stripByteCounts[s]};
}

}  // namespace

int ReadTiffLayout(FILE* file, const char* path) {
    ResetTiffFields();
    if (ReadTiffDirectory(file, RecordTiffField) != 0) return -1;
    CheckTiffLayout();
    if (tTiffFields->status & kTiffUnsupported) {
        Report<kMsgNotSupportedImage>(path);
        return -1;
    }
    return 0;
}

void ProbeTiffFile(const char* path, TiffProbe* out) {
    char text[kProbeTextBytes];
    const ReporterState reporter = *tReporter;
    BindErrorText(text, kModulePictor);
    ResetTiffFields();
    const int result = ReadProbedLayout(path);
    *out = TiffProbe{};
    out->accepted = result == 0 ? 1 : 0;
    out->messageCode = FirstCode(text);
    CopyFields(out);
    *tReporter = reporter;
    ResetTiffFields();
}
