#include "tiff/tiff_fields.h"

#include "messages/codes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "tiff/picture_sizes.h"

thread_local TiffFields* tTiffFields = nullptr;

namespace {

void RaiseUnsupported() {
    tTiffFields->status |= static_cast<uint32_t>(SeverityOf(kConditionFieldUnsupported, 0));
}

bool AcceptedWidth(uint32_t w) { return FindPictureWidth(w) != nullptr; }

bool AcceptedHeight(uint32_t h) { return FindPictureHeight(h) != nullptr; }

// Value k of the entry goes into place k; values past the table's last place are dropped.
template <typename T>
void StoreTable(T* table, int places, uint32_t count, const uint32_t* values) {
    for (uint32_t k = 0; k < count && k < static_cast<uint32_t>(places); ++k)
        table[k] = static_cast<T>(values[k]);
}

bool GreyOrPaletteDepth(uint16_t bits) { return bits == 1 || bits == 4 || bits == 8; }

}  // namespace

void ResetTiffFields() {
    ResetTiffReader();
    TiffFields& f = *tTiffFields;
    f.imageWidth = 720;
    f.imageLength = 480;
    f.newSubfileType = 0;
    f.subfileType = 1;
    for (uint16_t& b : f.bitsPerSample) b = 1;
    f.compression = kCompressionNone;
    f.photometric = 65535;
    f.fillOrder = 1;
    f.stripCount = 0xFFFFFFFFu;
    for (uint32_t& o : f.stripOffsets) o = 0xFFFFFFFFu;
    f.orientation = 1;
    f.samplesPerPixel = 1;
    f.rowsPerStrip = 0xFFFFFFFFu;
    for (uint32_t& c : f.stripByteCounts) c = 0xFFFFFFFFu;
    f.planarConfiguration = 1;
    for (uint16_t& m : f.sampleMap) m = 255;
    f.paletteStride = 2;
    for (uint16_t& e : f.extraSamples) e = 0;
    f.bitsPerPixel = 1;
    f.status = 0;
}

namespace {

// Tags recorded from SHORT and LONG entries alike; false for every other tag.
bool RecordSizeOrStrips(uint32_t tag, bool isShort, uint32_t count, const uint32_t* values,
                        uint32_t last) {
    TiffFields& f = *tTiffFields;
    switch (tag) {
        case 256:
            f.imageWidth = last;
            if (!AcceptedWidth(last)) {
                if (isShort)
                    Report<kMsgWidthNotSupported>(static_cast<int>(last),
                                                  tMessageNames->pictureName);
                RaiseUnsupported();
            }
            return true;
        case 257:
            f.imageLength = last;
            if (!AcceptedHeight(last)) {
                if (isShort)
                    Report<kMsgHeightNotSupported>(static_cast<int>(last),
                                                   tMessageNames->pictureName);
                RaiseUnsupported();
            }
            return true;
        case 273:
            StoreTable(f.stripOffsets, kStripPlaces, count, values);
            return true;
        case 278:
            f.rowsPerStrip = last;
            return true;
        case 279:
            StoreTable(f.stripByteCounts, kStripPlaces, count, values);
            return true;
        default:
            return false;
    }
}

// Tags recorded from SHORT entries only: the sample layout and colour.
void RecordSampleField(uint32_t tag, uint32_t count, const uint32_t* values, uint32_t last) {
    TiffFields& f = *tTiffFields;
    switch (tag) {
        case 258:
            StoreTable(f.bitsPerSample, kBitsPerSamplePlaces, count, values);
            break;
        case 262:
            f.photometric = static_cast<uint16_t>(last);
            if (last > kPhotometricPalette) RaiseUnsupported();
            break;
        case 266:
            f.fillOrder = static_cast<uint16_t>(last);
            break;
        case 277:
            f.samplesPerPixel = static_cast<uint16_t>(last);
            break;
        case 320:
            // The map keeps the high byte of every colour.
            for (uint32_t k = 0; k < count && k < static_cast<uint32_t>(kSampleMapPlaces); ++k) {
                f.sampleMap[k] = static_cast<uint16_t>(values[k] >> 8);
            }
            break;
        case 338:
            StoreTable(f.extraSamples, kExtraSamplePlaces, count, values);
            for (uint16_t e : f.extraSamples) {
                if (e != 0) {
                    RaiseUnsupported();
                    break;
                }
            }
            break;
        default:
            break;
    }
}

// Tags recorded from SHORT entries only: the kind of picture and how it is stored.
void RecordShortField(uint32_t tag, uint32_t count, const uint32_t* values, uint32_t last) {
    TiffFields& f = *tTiffFields;
    switch (tag) {
        case 255:
            f.subfileType = static_cast<uint16_t>(last);
            if (last != 1) RaiseUnsupported();
            break;
        case 259:
            f.compression = static_cast<uint16_t>(last);
            if (last == kCompressionLzw) Report<kMsgNotSupportedImage>(tMessageNames->pictureName);
            if (last != kCompressionNone && last != kCompressionPackBits) RaiseUnsupported();
            break;
        case 274:
            f.orientation = static_cast<uint16_t>(last);
            if (last < 1 || last > 4) RaiseUnsupported();
            break;
        case 284:
            f.planarConfiguration = static_cast<uint16_t>(last);
            if (last != 1) RaiseUnsupported();
            break;
        default:
            RecordSampleField(tag, count, values, last);
            break;
    }
}

}  // namespace

void RecordTiffField(uint32_t tag, uint32_t type, uint32_t count, const TiffEntryValues* values) {
    TiffFields& f = *tTiffFields;
    if (tag == 273) f.stripCount = count;
    // Entries of other types, and the strip tables of a refused layout, come without values.
    if (values == nullptr) return;
    const bool isShort = type == kTiffShort;
    const uint32_t last = values->last;
    if (RecordSizeOrStrips(tag, isShort, count, values->first, last)) return;
    if (isShort) {
        RecordShortField(tag, count, values->first, last);
    } else if (tag == 254) {
        f.newSubfileType = last;
        if (last != 0 && last != 2) RaiseUnsupported();
    }
}

void CheckTiffLayout() {
    TiffFields& f = *tTiffFields;
    bool rgb = f.photometric == kPhotometricRgb;
    uint16_t extra = static_cast<uint16_t>(f.samplesPerPixel - (rgb ? 3 : 1));
    if (rgb) {
        const uint16_t* b = f.bitsPerSample;
        bool eight = b[0] == 8 && b[1] == 8 && b[2] == 8;
        bool sixteen = b[0] == 16 && b[1] == 16 && b[2] == 16;
        if (!eight && !sixteen) {
            Report<kMsgNotSupportedImage>(tMessageNames->pictureName);
            RaiseUnsupported();
        }
    }
    if (extra > kExtraSamplePlaces) RaiseUnsupported();
    if (f.samplesPerPixel > kBitsPerSamplePlaces) RaiseUnsupported();
    if (f.stripCount > static_cast<uint32_t>(kStripPlaces)) RaiseUnsupported();

    // Beyond the fixed tests: nothing read past the file's end is data, grey
    // and palette samples need a ramp or a stride, and every strip a length.
    if (tTiffReader->ranPastEnd) RaiseUnsupported();
    bool greyOrPalette = f.photometric == kWhiteIsZero || f.photometric == kBlackIsZero ||
                         f.photometric == kPhotometricPalette;
    if (greyOrPalette && !GreyOrPaletteDepth(f.bitsPerSample[0])) RaiseUnsupported();
    if (f.stripCount <= static_cast<uint32_t>(kStripPlaces)) {
        for (uint32_t s = 0; s < f.stripCount; ++s) {
            if (f.stripByteCounts[s] == 0xFFFFFFFFu) {
                RaiseUnsupported();
                break;
            }
        }
    }
}
