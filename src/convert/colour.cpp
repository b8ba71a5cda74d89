#include "convert/colour.h"

#include <cstring>

#include "api/registry.h"
#include "parallel/job_threads.h"
#include "platform/cpu_features.h"

namespace {

struct Levels {
    int32_t offset;
    int32_t lumaScale;
    int32_t chromaScale;
    int32_t lowerClip;
    int32_t upperLuma;
    int32_t upperChroma;
};

Levels LevelsOf(const ColourLevels& levels) {
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

int32_t Limit(int32_t v, int32_t low, int32_t high) { return v < low ? low : v > high ? high : v; }

// Arithmetic shift right by 16: rounds toward minus infinity.
int32_t FloorShift16(int32_t v) { return v >= 0 ? v >> 16 : -((-v + 65535) >> 16); }

uint8_t Luma(int32_t r, int32_t g, int32_t b, const Levels& l) {
    int32_t t = Limit((19595 * r + 38470 * g + 7471 * b + 128) / 255, 0, 65536);
    int32_t y = ((t * l.lumaScale + 32768) >> 16) + l.offset;
    return static_cast<uint8_t>(Limit(y, l.lowerClip, l.upperLuma));
}

int32_t BlueDifference(int32_t r, int32_t g, int32_t b) {
    return Limit((-11076 * r - 21692 * g + 32768 * b + 128) / 255, -32768, 32768);
}

int32_t RedDifference(int32_t r, int32_t g, int32_t b) {
    return Limit((32768 * r - 27460 * g - 5308 * b + 128) / 255, -32768, 32768);
}

uint8_t PairChroma(int32_t sum, const Levels& l) {
    int32_t c = FloorShift16(sum * l.chromaScale / 2 + 32768) + 128;
    return static_cast<uint8_t>(Limit(c, l.lowerClip, l.upperChroma));
}

}  // namespace

uint8_t LumaOf(int red, int green, int blue, const ColourLevels& levels) {
    return Luma(red, green, blue, LevelsOf(levels));
}

void ChromaOfPair(const uint8_t rgb0[3], const uint8_t rgb1[3], const ColourLevels& levels,
                  uint8_t* cb, uint8_t* cr) {
    Levels l = LevelsOf(levels);
    *cb = PairChroma(
        BlueDifference(rgb0[0], rgb0[1], rgb0[2]) + BlueDifference(rgb1[0], rgb1[1], rgb1[2]), l);
    *cr = PairChroma(
        RedDifference(rgb0[0], rgb0[1], rgb0[2]) + RedDifference(rgb1[0], rgb1[1], rgb1[2]), l);
}

int ApplyOrientation(const PicturePlanes& rgb, uint32_t width, uint32_t height,
                     uint16_t orientation) {
    uint64_t w = width;
    uint64_t h = height;
    uint64_t size = w * h;
    uint8_t* planes[3] = {rgb.red, rgb.green, rgb.blue};
    uint8_t* copies[3] = {nullptr, nullptr, nullptr};
    for (int k = 0; k < 3; ++k) {
        copies[k] = static_cast<uint8_t*>(TrackedAlloc(size, 1));
        if (copies[k] == nullptr) {
            for (int j = 0; j < k; ++j) TrackedFree(copies[j]);
            return -1;
        }
        if (size != 0) std::memcpy(copies[k], planes[k], size);
    }
    bool mirrorColumns = orientation == 2 || orientation == 3;
    bool mirrorRows = orientation == 3 || orientation == 4;
    for (uint64_t r = 0; r < h; ++r) {
        uint64_t fromRow = mirrorRows ? h - 1 - r : r;
        for (uint64_t c = 0; c < w; ++c) {
            uint64_t from = fromRow * w + (mirrorColumns ? w - 1 - c : c);
            for (int k = 0; k < 3; ++k) planes[k][r * w + c] = copies[k][from];
        }
    }
    for (uint8_t* copy : copies) TrackedFree(copy);
    return 0;
}

namespace {

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

using ConvertRows = void (*)(const PicturePlanes&, uint32_t, uint32_t, uint32_t, uint32_t,
                             const Levels&);

// Working rows first .. end - 1 into picture rows to + first on.
void ConvertRowsPortable(const PicturePlanes& planes, uint32_t width, uint32_t to, uint32_t first,
                         uint32_t end, const Levels& l) {
    const uint64_t w = width;
    for (uint64_t r = first; r < end; ++r) {
        const uint64_t t = to + r;
        ConvertRow(planes.red + r * w, planes.green + r * w, planes.blue + r * w, planes.y + t * w,
                   planes.cb + t * (w / 2), planes.cr + t * (w / 2), static_cast<int32_t>(w), l);
    }
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void ConvertRowsAvx2(const PicturePlanes& planes, uint32_t width,
                                                     uint32_t to, uint32_t first, uint32_t end,
                                                     const Levels& l) {
    const uint64_t w = width;
    for (uint64_t r = first; r < end; ++r) {
        const uint64_t t = to + r;
        ConvertRow(planes.red + r * w, planes.green + r * w, planes.blue + r * w, planes.y + t * w,
                   planes.cb + t * (w / 2), planes.cr + t * (w / 2), static_cast<int32_t>(w), l);
    }
}
#endif

// The same integer arithmetic either way; AVX2 where the processor has it, fixed for the life of
// the process.
ConvertRows ChosenConvertRows() {
#if defined(__x86_64__) || defined(__i386__)
    static const ConvertRows chosen = CpuHasAvx2() ? ConvertRowsAvx2 : ConvertRowsPortable;
    return chosen;
#else
    return ConvertRowsPortable;
#endif
}

}  // namespace

// Rows in a chunk of the job's threads at least, and the chunks of a call at most.
constexpr uint32_t kRowsPerChunk = 8;
constexpr uint32_t kMostChunks = 8;

void ConvertRgbToYCbCr(const PicturePlanes& planes, uint32_t width, uint32_t firstRow,
                       uint32_t rows, const ColourLevels& levels) {
    // Planes of width x height bytes exist, so a row of any height is at most 2^30 bytes. Rows
    // apart, in chunks for the job's threads.
    const ConvertRows convert = ChosenConvertRows();
    const Levels l = LevelsOf(levels);
    const uint32_t fit = rows / kRowsPerChunk;
    const int32_t chunks = static_cast<int32_t>(fit < 1             ? 1
                                                : fit > kMostChunks ? kMostChunks
                                                                    : fit);
    auto part = [&](int32_t chunk) {
        const uint32_t from = static_cast<uint32_t>(uint64_t{rows} * chunk / chunks);
        const uint32_t to = static_cast<uint32_t>(uint64_t{rows} * (chunk + 1) / chunks);
        convert(planes, width, firstRow, from, to, l);
    };
    RunChunks(chunks, part);
}
