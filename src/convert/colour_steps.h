// The conversion's arithmetic per pixel and per row, shared by the portable rows and the AVX2
// kernel (convert/colour_avx2.cpp). Internal to convert/.
#ifndef PICTOR_CONVERT_COLOUR_STEPS_H
#define PICTOR_CONVERT_COLOUR_STEPS_H

#include <cstdint>

#include "convert/colour.h"

namespace colour_steps {

struct Levels {
    int32_t offset;
    int32_t lumaScale;
    int32_t chromaScale;
    int32_t lowerClip;
    int32_t upperLuma;
    int32_t upperChroma;
};

inline Levels LevelsOf(const ColourLevels& levels) {
    Levels l;
    bool full = levels.fullRange != 0;
    bool wide = levels.wideClip != 0;
    l.offset = full ? 0 : 16;
    l.lumaScale = full ? 255 : 219;
    l.chromaScale = full ? 255 : 224;
    l.lowerClip = wide ? 5 : 16;
    l.upperLuma = wide ? 250 : 235;
    l.upperChroma = wide ? 250 : 240;
    return l;
}

inline int32_t Limit(int32_t v, int32_t low, int32_t high) {
    return v < low ? low : v > high ? high : v;
}

// Arithmetic shift right by 16: rounds toward minus infinity.
inline int32_t FloorShift16(int32_t v) { return v >= 0 ? v >> 16 : -((-v + 65535) >> 16); }

inline uint8_t Luma(int32_t r, int32_t g, int32_t b, const Levels& l) {
    int32_t t = Limit((19595 * r + 38470 * g + 7471 * b + 128) / 255, 0, 65536);
    int32_t y = ((t * l.lumaScale + 32768) >> 16) + l.offset;
    return static_cast<uint8_t>(Limit(y, l.lowerClip, l.upperLuma));
}

inline int32_t BlueDifference(int32_t r, int32_t g, int32_t b) {
    return Limit((-11076 * r - 21692 * g + 32768 * b + 128) / 255, -32768, 32768);
}

inline int32_t RedDifference(int32_t r, int32_t g, int32_t b) {
    return Limit((32768 * r - 27460 * g - 5308 * b + 128) / 255, -32768, 32768);
}

inline uint8_t PairChroma(int32_t sum, const Levels& l) {
    int32_t c = FloorShift16(sum * l.chromaScale / 2 + 32768) + 128;
    return static_cast<uint8_t>(Limit(c, l.lowerClip, l.upperChroma));
}

// One row: the luma of every pixel, the chroma of every pixel pair. Written for the vectoriser
// (no aliasing, int indices, the levels by value); inlined into each instruction set's version.
inline __attribute__((always_inline)) void ConvertRow(const uint8_t* __restrict red,
                                                      const uint8_t* __restrict green,
                                                      const uint8_t* __restrict blue,
                                                      uint8_t* __restrict y, uint8_t* __restrict cb,
                                                      uint8_t* __restrict cr, int32_t width,
                                                      const Levels l) {
    for (int32_t n = 0; n < width; ++n) y[n] = Luma(red[n], green[n], blue[n], l);
    for (int32_t k = 0; k < width / 2; ++k) {
        const int32_t a = 2 * k, b = a + 1;
        const int32_t bsum =
            BlueDifference(red[a], green[a], blue[a]) + BlueDifference(red[b], green[b], blue[b]);
        const int32_t dsum =
            RedDifference(red[a], green[a], blue[a]) + RedDifference(red[b], green[b], blue[b]);
        cb[k] = PairChroma(bsum, l);
        cr[k] = PairChroma(dsum, l);
    }
}

// One row of interleaved samples, three bytes a pixel, through the same formulas: a part at a
// time into working rows of an even length, so that no pair straddles two parts.
inline void ConvertInterleavedRowPortable(const uint8_t* rgb, uint8_t* y, uint8_t* cb, uint8_t* cr,
                                          int32_t width, const Levels& l) {
    constexpr int32_t kPart = 256;
    uint8_t red[kPart], green[kPart], blue[kPart];
    for (int32_t n = 0; n < width; n += kPart) {
        const int32_t count = width - n < kPart ? width - n : kPart;
        const uint8_t* in = rgb + 3 * static_cast<int64_t>(n);
        for (int32_t i = 0; i < count; ++i) {
            red[i] = in[3 * i];
            green[i] = in[3 * i + 1];
            blue[i] = in[3 * i + 2];
        }
        ConvertRow(red, green, blue, y + n, cb + n / 2, cr + n / 2, count, l);
    }
}

using ConvertRows = void (*)(const PicturePlanes&, uint32_t, uint32_t, uint32_t, uint32_t,
                             const Levels&);
// Rows first .. end - 1 of interleaved samples `stride` bytes apart into picture rows to + first
// on.
using ConvertInterleavedRows = void (*)(const uint8_t*, int64_t, const PicturePlanes&, uint32_t,
                                        uint32_t, uint32_t, uint32_t, const Levels&);

#if defined(__x86_64__) || defined(__i386__)
// Working rows first .. end - 1 into picture rows to + first on, by the AVX2 kernel; only where
// the processor has AVX2.
void ConvertRowsAvx2(const PicturePlanes& planes, uint32_t width, uint32_t to, uint32_t first,
                     uint32_t end, const Levels& l);
void ConvertInterleavedRowsAvx2(const uint8_t* pixels, int64_t stride, const PicturePlanes& planes,
                                uint32_t width, uint32_t to, uint32_t first, uint32_t end,
                                const Levels& l);
#endif

}  // namespace colour_steps

#endif
