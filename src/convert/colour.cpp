#include "convert/colour.h"

#include <cstring>

#include "convert/colour_steps.h"
#include "parallel/job_threads.h"
#include "platform/cpu_features.h"
#include "runtime/registry.h"

using namespace colour_steps;

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

void ConvertInterleavedRowsPortable(const uint8_t* pixels, int64_t stride,
                                    const PicturePlanes& planes, uint32_t width, uint32_t to,
                                    uint32_t first, uint32_t end, const Levels& l) {
    const uint64_t w = width;
    for (uint64_t r = first; r < end; ++r) {
        const uint64_t t = to + r;
        ConvertInterleavedRowPortable(pixels + static_cast<int64_t>(r) * stride, planes.y + t * w,
                                      planes.cb + t * (w / 2), planes.cr + t * (w / 2),
                                      static_cast<int32_t>(w), l);
    }
}

ConvertInterleavedRows ChosenInterleavedRows() {
#if defined(__x86_64__) || defined(__i386__)
    static const ConvertInterleavedRows chosen =
        CpuHasAvx2() ? ConvertInterleavedRowsAvx2 : ConvertInterleavedRowsPortable;
    return chosen;
#else
    return ConvertInterleavedRowsPortable;
#endif
}

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

void ColourDifferencesOf(int red, int green, int blue, int32_t* blueDifference,
                         int32_t* redDifference) {
    *blueDifference = BlueDifference(red, green, blue);
    *redDifference = RedDifference(red, green, blue);
}

uint8_t ChromaOfSum(int32_t sum, const ColourLevels& levels) {
    return PairChroma(sum, LevelsOf(levels));
}

// Rows in a chunk of the job's threads at least (a shorter band costs the helper more to take
// than its share of it), and the chunks of a call at most.
constexpr uint32_t kRowsPerChunk = 64;
constexpr uint32_t kMostChunks = 8;

namespace {

int32_t ChunksOf(uint32_t rows) {
    const uint32_t fit = rows / kRowsPerChunk;
    return static_cast<int32_t>(fit < 1 ? 1 : fit > kMostChunks ? kMostChunks : fit);
}

}  // namespace

void ConvertInterleavedRgb(const uint8_t* pixels, int64_t stride, const PicturePlanes& planes,
                           uint32_t width, uint32_t firstRow, uint32_t rows,
                           const ColourLevels& levels) {
    const ConvertInterleavedRows convert = ChosenInterleavedRows();
    const Levels l = LevelsOf(levels);
    const int32_t chunks = ChunksOf(rows);
    auto part = [&](int32_t chunk) {
        const uint32_t from = static_cast<uint32_t>(uint64_t{rows} * chunk / chunks);
        const uint32_t to = static_cast<uint32_t>(uint64_t{rows} * (chunk + 1) / chunks);
        convert(pixels, stride, planes, width, firstRow, from, to, l);
    };
    RunChunks(chunks, part);
}

void ConvertRgbToYCbCr(const PicturePlanes& planes, uint32_t width, uint32_t firstRow,
                       uint32_t rows, const ColourLevels& levels) {
    // Planes of width x height bytes exist, so a row of any height is at most 2^30 bytes. Rows
    // apart, in chunks for the job's threads.
    const ConvertRows convert = ChosenConvertRows();
    const Levels l = LevelsOf(levels);
    const int32_t chunks = ChunksOf(rows);
    auto part = [&](int32_t chunk) {
        const uint32_t from = static_cast<uint32_t>(uint64_t{rows} * chunk / chunks);
        const uint32_t to = static_cast<uint32_t>(uint64_t{rows} * (chunk + 1) / chunks);
        convert(planes, width, firstRow, from, to, l);
    };
    RunChunks(chunks, part);
}
