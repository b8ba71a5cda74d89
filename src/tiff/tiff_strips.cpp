#include "tiff/tiff_strips.h"

#include <sys/types.h>

#include "messages/codes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "platform/cpu_features.h"
#include "runtime/registry.h"
#include "tiff/tiff_fields.h"
#include "tiff/tiff_reader_state.h"

namespace {

void BuildGreyRamp(uint16_t bits, bool whiteIsZero) {
    uint16_t* map = tTiffFields->sampleMap;
    int levels = bits == 1 ? 2 : bits == 4 ? 16 : bits == 8 ? 256 : 0;
    int step = bits == 1 ? 255 : bits == 4 ? 17 : 1;
    for (int v = 0; v < levels; ++v)
        map[v] = static_cast<uint16_t>(whiteIsZero ? 255 - step * v : step * v);
}

uint8_t MapAt(uint32_t index) {
    return index < kSampleMapPlaces ? static_cast<uint8_t>(tTiffFields->sampleMap[index]) : 0;
}

// High byte of a 16-bit sample: the first byte in a big-endian file, the second in a little-endian
// one.
uint8_t HighByte(uint32_t sample) {
    return static_cast<uint8_t>(tTiffReader->byteOrder == kBigEndian ? sample >> 8 : sample & 0xFF);
}

uint8_t ColourSample(uint64_t p, int i, const uint8_t* strip, uint64_t length) {
    uint32_t v = ReadSampleBits(p, i, strip, length);
    return tTiffFields->bitsPerSample[i] == 16 ? HighByte(v) : static_cast<uint8_t>(v);
}

// The samples of 8-bit RGB pixels three bytes apart into the three planes; written for the
// vectoriser and inlined into each instruction set's version.
inline __attribute__((always_inline)) void SplitRgbPixels(const uint8_t* __restrict pixels,
                                                          uint8_t* __restrict red,
                                                          uint8_t* __restrict green,
                                                          uint8_t* __restrict blue, uint64_t n) {
    for (uint64_t i = 0; i < n; ++i) {
        red[i] = pixels[3 * i];
        green[i] = pixels[3 * i + 1];
        blue[i] = pixels[3 * i + 2];
    }
}

void SplitRgbPortable(const uint8_t* pixels, uint8_t* red, uint8_t* green, uint8_t* blue,
                      uint64_t n) {
    SplitRgbPixels(pixels, red, green, blue, n);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void SplitRgbAvx2(const uint8_t* pixels, uint8_t* red,
                                                  uint8_t* green, uint8_t* blue, uint64_t n) {
    SplitRgbPixels(pixels, red, green, blue, n);
}
#endif

// The same bytes either way; AVX2 where the processor has it, fixed for the life of the process.
void SplitRgb(const uint8_t* pixels, uint8_t* red, uint8_t* green, uint8_t* blue, uint64_t n) {
#if defined(__x86_64__) || defined(__i386__)
    if (CpuHasAvx2()) return SplitRgbAvx2(pixels, red, green, blue, n);
#endif
    SplitRgbPortable(pixels, red, green, blue, n);
}

// Of at most `end` whole-byte pixels of `step` bytes from bit p (on a byte) on, how many have
// their first `need` bytes within the strip's `length`.
uint64_t PixelsHeld(uint64_t length, uint64_t p, uint64_t step, uint64_t need, uint64_t end) {
    const uint64_t first = p / 8;
    const uint64_t held = length > first ? length - first : 0;
    const uint64_t inside = held < need ? 0 : (held - need) / step + 1;
    return inside < end ? inside : end;
}

// `end` pixels of an RGB strip of `length` bytes, from bit p on, into band places 0 .. end - 1.
void UnpackRgb(const uint8_t* strip, uint64_t length, uint64_t p, uint64_t end,
               const RgbPlanes& planes) {
    const TiffFields& f = *tTiffFields;
    uint64_t at = 0;
    uint64_t green = f.bitsPerSample[0];
    uint64_t blue = green + f.bitsPerSample[1];
    if (green == 8 && f.bitsPerSample[1] == 8 && f.bitsPerSample[2] == 8 &&
        f.bitsPerPixel % 8 == 0) {
        // Whole bytes: the pixels whose three samples the strip holds, without the bit reader.
        const uint64_t step = f.bitsPerPixel / 8;
        const uint64_t last = PixelsHeld(length, p, step, 3, end);
        const uint8_t* pixel = last == 0 ? strip : strip + p / 8;
        if (step == 3) {
            SplitRgb(pixel, planes.red, planes.green, planes.blue, last);
            pixel += 3 * last;
            at = last;
        }
        for (; at < last; ++at, pixel += step) {
            planes.red[at] = pixel[0];
            planes.green[at] = pixel[1];
            planes.blue[at] = pixel[2];
        }
        p += 8 * step * last;
    }
    for (; at < end; ++at, p += f.bitsPerPixel) {
        planes.red[at] = ColourSample(p, 0, strip, length);
        planes.green[at] = ColourSample(p + green, 1, strip, length);
        planes.blue[at] = ColourSample(p + blue, 2, strip, length);
    }
}

// `end` pixels of a palette strip of `length` bytes, from bit p on, into band places 0 .. end - 1.
void UnpackPalette(const uint8_t* strip, uint64_t length, uint64_t p, uint64_t end,
                   const RgbPlanes& planes) {
    const TiffFields& f = *tTiffFields;
    uint16_t bits = f.bitsPerSample[0];
    if (bits == 4) tTiffFields->paletteStride = 16;
    if (bits == 8) tTiffFields->paletteStride = 256;
    uint32_t stride = tTiffFields->paletteStride;
    for (uint64_t at = 0; at < end; ++at, p += f.bitsPerPixel) {
        uint32_t v = ReadSampleBits(p, 0, strip, length);
        planes.red[at] = MapAt(v);
        planes.green[at] = MapAt(v + stride);
        planes.blue[at] = MapAt(v + 2 * stride);
    }
}

// `end` pixels of a grey strip of `length` bytes, from bit p on, through the grey ramp into band
// places 0 .. end - 1.
void UnpackGrey(const uint8_t* strip, uint64_t length, uint64_t p, uint64_t end,
                const RgbPlanes& planes) {
    const TiffFields& f = *tTiffFields;
    uint64_t at = 0;
    BuildGreyRamp(f.bitsPerSample[0], f.photometric == kWhiteIsZero);
    if (f.bitsPerSample[0] == 8 && f.bitsPerPixel % 8 == 0) {
        // Whole bytes: the pixels the strip holds, through the ramp, without the bit reader.
        uint8_t ramp[256];
        for (uint32_t v = 0; v < 256; ++v) ramp[v] = MapAt(v);
        const uint64_t step = f.bitsPerPixel / 8;
        const uint64_t last = PixelsHeld(length, p, step, 1, end);
        const uint8_t* pixel = last == 0 ? strip : strip + p / 8;
        for (; at < last; ++at, pixel += step) {
            const uint8_t v = ramp[*pixel];
            planes.red[at] = v;
            planes.green[at] = v;
            planes.blue[at] = v;
        }
        p += 8 * step * last;
    }
    for (; at < end; ++at, p += f.bitsPerPixel) {
        uint8_t v = MapAt(ReadSampleBits(p, 0, strip, length));
        planes.red[at] = v;
        planes.green[at] = v;
        planes.blue[at] = v;
    }
}

// Whether rows skip .. skip + rows - 1 of `length` bytes of strip data are whole 8-bit RGB
// pixels of three bytes the band's owner takes where they lie.
bool PixelsTakenWhole(uint64_t length, uint32_t skip, uint32_t rows, const RasterBands& bands) {
    const TiffFields& f = *tTiffFields;
    if (bands.takePixels == nullptr || f.photometric != kPhotometricRgb || f.bitsPerPixel != 24 ||
        f.bitsPerSample[0] != 8 || f.bitsPerSample[1] != 8 || f.bitsPerSample[2] != 8)
        return false;
    return (uint64_t{skip} + rows) * 3 * f.imageWidth <= length;
}

// Rows skip .. skip + rows - 1 of `length` bytes of strip data (row 0 its first) into the band,
// which then hands them on as rows firstRow + skip on.
void TakeRows(const uint8_t* strip, uint64_t length, uint32_t firstRow, uint32_t skip,
              uint32_t rows, const RasterBands& bands) {
    const uint64_t width = tTiffFields->imageWidth;
    if (PixelsTakenWhole(length, skip, rows, bands)) {
        const uint64_t rowBytes = 3 * width;
        return bands.takePixels(bands.context, strip + skip * rowBytes, rowBytes, firstRow + skip,
                                rows);
    }
    const uint64_t p = uint64_t{skip} * width * tTiffFields->bitsPerPixel;
    const uint64_t end = uint64_t{rows} * width;
    const uint16_t photometric = tTiffFields->photometric;
    if (photometric == kPhotometricRgb) {
        UnpackRgb(strip, length, p, end, bands.band);
    } else if (photometric == kPhotometricPalette) {
        UnpackPalette(strip, length, p, end, bands.band);
    } else if (photometric == kBlackIsZero || photometric == kWhiteIsZero) {
        UnpackGrey(strip, length, p, end, bands.band);
    }
    bands.take(bands.context, firstRow + skip, rows);
}

// Uncompressed strips of whole-byte pixels up to this size are read a few rows at a time
// through a buffer that stays in the cache; the rows come out as from the whole strip.
constexpr uint64_t kPiecewiseStripBytes = uint64_t{64} << 20;
constexpr uint64_t kPieceBytes = 128 * 1024;

// The working buffer of the pieces, taken at the first strip read in pieces and kept for the
// raster's other strips, whose pieces are never longer.
struct PieceBuffer {
    uint8_t* bytes;
    uint64_t size;
};

// The strip's count bytes at offset, rows at a time: a row's pixels start on a byte, and the
// bytes of a piece past the strip's end read as 0, as they do from the whole strip. A source in
// memory is read where it lies (the strip lies inside it), unless its bits need turning round.
int ReadStripInPieces(FILE* file, uint32_t firstRow, uint64_t offset, uint64_t count,
                      const RasterBands& bands, PieceBuffer* buffer) {
    const TiffFields& f = *tTiffFields;
    const uint64_t rowBytes = uint64_t{f.bitsPerPixel} / 8 * f.imageWidth;
    const uint32_t rows = f.rowsPerStrip;
    uint64_t pieceRows = rowBytes == 0 ? rows : kPieceBytes / rowBytes;
    if (pieceRows == 0) pieceRows = 1;
    if (pieceRows > bands.rows) pieceRows = bands.rows;
    if (pieceRows > rows) pieceRows = rows;
    // No piece is longer than the file.
    const uint64_t fileSize = tTiffReader->fileSize;
    const uint64_t most = pieceRows * rowBytes < fileSize ? pieceRows * rowBytes : fileSize;
    if (buffer->bytes == nullptr || buffer->size < most) {
        TrackedFree(buffer->bytes);
        buffer->bytes = static_cast<uint8_t*>(TrackedAlloc(most, 1));
        buffer->size = most;
        if (buffer->bytes == nullptr) return -1;
    }
    const unsigned char* inMemory = f.fillOrder == 2 ? nullptr : JobSourceBytes(file);
    uint8_t* piece = buffer->bytes;
    int result = fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 ? 0 : -1;
    uint64_t consumed = 0;
    for (uint32_t row = 0; result == 0 && row < rows; row += static_cast<uint32_t>(pieceRows)) {
        const uint32_t n = rows - row < pieceRows ? rows - row : static_cast<uint32_t>(pieceRows);
        const uint64_t left = count - consumed;
        const uint64_t length = n * rowBytes < left ? n * rowBytes : left;
        const uint8_t* from = inMemory != nullptr ? inMemory + offset + consumed : piece;
        if (inMemory == nullptr && fread(piece, 1, static_cast<size_t>(length), file) != length) {
            result = -1;
            break;
        }
        consumed += length;
        if (f.fillOrder == 2) ReverseBitOrder(piece, length);
        TakeRows(from, length, firstRow + row, 0, n, bands);
    }
    if (result != 0) Report<kMsgStripReadError>(tMessageNames->pictureName);
    return result;
}

}  // namespace

uint32_t RasterStripCount() {
    const uint32_t count = tTiffFields->stripCount;
    return count < static_cast<uint32_t>(kStripPlaces) ? count : kStripPlaces;
}

bool StripInFile(uint32_t s) {
    const uint64_t end = uint64_t{tTiffFields->stripOffsets[s]} + tTiffFields->stripByteCounts[s];
    return end <= tTiffReader->fileSize;
}

uint64_t DecodedStripSize() {
    uint64_t bits = uint64_t{tTiffFields->bitsPerPixel} * tTiffFields->rowsPerStrip *
                    uint64_t{tTiffFields->imageWidth};
    return (bits + 7) / 8;
}

void ReverseBitOrder(uint8_t* buffer, uint64_t length) {
    for (uint64_t n = 0; n < length; ++n) {
        uint8_t b = buffer[n];
        b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
        b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
        b = static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
        buffer[n] = b;
    }
}

uint32_t ReadSampleBits(uint64_t p, int i, const uint8_t* strip, uint64_t length) {
    int n = tTiffFields->bitsPerSample[i];
    uint64_t byte = p / 8;
    if (p % 8 == 0 && n == 8) return byte < length ? strip[byte] : 0;
    if (p % 8 == 0 && n == 16) {
        uint32_t hi = byte < length ? strip[byte] : 0;
        uint32_t lo = byte + 1 < length ? strip[byte + 1] : 0;
        return hi << 8 | lo;
    }
    uint32_t v = 0;
    for (int k = 0; k < n && k < 16; ++k) {
        uint64_t bit = p + k;
        uint64_t at = bit / 8;
        uint32_t b = at < length ? (strip[at] >> (7 - bit % 8)) & 1 : 0;
        v = v << 1 | b;
    }
    return v;
}

int UnpackBitsStrip(const uint8_t* raw, uint8_t* decoded, uint32_t s) {
    uint64_t d = DecodedStripSize();
    if (d == 0) return 0;
    uint64_t inLength = tTiffFields->stripByteCounts[s];
    uint64_t i = 0, o = 0;
    for (;;) {
        if (i >= inLength) {
            Report<kMsgSourcePositionAtEnd>(tMessageNames->pictureName);
            return -1;
        }
        int h = static_cast<int8_t>(raw[i++]);
        if (h >= 0) {
            uint64_t n = static_cast<uint64_t>(h) + 1;
            if (n > inLength - i) n = inLength - i;
            uint64_t copy = n < d - o ? n : d - o;
            for (uint64_t k = 0; k < copy; ++k) decoded[o + k] = raw[i + k];
            i += n;
            o += copy;
        } else if (h != -128) {
            if (i >= inLength) continue;  // no byte to repeat: the input has ended
            uint64_t n = static_cast<uint64_t>(1 - h);
            if (n > d - o) n = d - o;
            for (uint64_t k = 0; k < n; ++k) decoded[o + k] = raw[i];
            i += 1;
            o += n;
        }
        if (o >= d) return 0;
    }
}

namespace {

int ReadStrip(FILE* file, uint32_t firstRow, uint32_t s, const RasterBands& bands,
              PieceBuffer* buffer) {
    TiffFields& f = *tTiffFields;
    uint64_t offset = f.stripOffsets[s];
    uint64_t count = f.stripByteCounts[s];
    // A strip that the file cannot hold is a short read, found before anything is allocated.
    if (!StripInFile(s)) {
        Report<kMsgStripReadError>(tMessageNames->pictureName);
        return -1;
    }
    if (f.compression != kCompressionPackBits && f.bitsPerPixel % 8 == 0 &&
        count <= kPiecewiseStripBytes)
        return ReadStripInPieces(file, firstRow, offset, count, bands, buffer);
    uint8_t* raw = static_cast<uint8_t*>(TrackedAlloc(count, 1));
    if (raw == nullptr) return -1;
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0 ||
        fread(raw, 1, static_cast<size_t>(count), file) != count) {
        Report<kMsgStripReadError>(tMessageNames->pictureName);
        TrackedFree(raw);
        return -1;
    }
    if (f.fillOrder == 2) ReverseBitOrder(raw, count);

    uint8_t* strip = raw;
    uint64_t length = count;
    if (f.compression == kCompressionPackBits) {
        length = DecodedStripSize();
        strip = static_cast<uint8_t*>(TrackedAlloc(length, 1));
        if (strip == nullptr) {
            TrackedFree(raw);
            return -1;
        }
        int result = UnpackBitsStrip(raw, strip, s);
        TrackedFree(raw);
        if (result != 0) {
            TrackedFree(strip);
            return -1;
        }
    }
    for (uint32_t row = 0; row < f.rowsPerStrip; row += bands.rows) {
        const uint32_t left = f.rowsPerStrip - row;
        TakeRows(strip, length, firstRow, row, left < bands.rows ? left : bands.rows, bands);
    }
    TrackedFree(strip);
    return 0;
}

}  // namespace

int ReadTiffStrip(FILE* file, uint32_t firstRow, uint32_t s, const RasterBands& bands) {
    PieceBuffer buffer{nullptr, 0};
    const int result = ReadStrip(file, firstRow, s, bands, &buffer);
    TrackedFree(buffer.bytes);
    return result;
}

int ReadTiffRaster(FILE* file, const RasterBands& bands) {
    TiffFields& f = *tTiffFields;
    int samples =
        f.samplesPerPixel < kBitsPerSamplePlaces ? f.samplesPerPixel : kBitsPerSamplePlaces;
    uint16_t bits = 0;
    for (int i = 0; i < samples; ++i) bits = static_cast<uint16_t>(bits + f.bitsPerSample[i]);
    f.bitsPerPixel = bits;

    const uint32_t height = f.imageLength;
    uint32_t rowsLeft = height;
    const uint32_t strips = RasterStripCount();
    PieceBuffer buffer{nullptr, 0};
    int result = 0;
    for (uint32_t s = 0; result == 0 && s < strips; ++s) {
        if (rowsLeft < f.rowsPerStrip) f.rowsPerStrip = rowsLeft;
        result = ReadStrip(file, height - rowsLeft, s, bands, &buffer);
        rowsLeft -= f.rowsPerStrip;
    }
    TrackedFree(buffer.bytes);
    return result;
}
