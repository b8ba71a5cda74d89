// The AVX2 kernel of the colour conversion: the same integer arithmetic as the formulas of
// convert/colour_steps.h, thirty-two pixels a step.
#include <cstdint>

#include "convert/colour.h"
#include "convert/colour_steps.h"
#include "platform/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

using namespace colour_steps;

namespace {

#define PICTOR_AVX2_STEP __attribute__((target("avx2"), always_inline)) inline

// The same arithmetic as Luma, BlueDifference, RedDifference and PairChroma on eight 32-bit
// lanes. Each lane holds a pixel as the 16-bit pairs (red, 2 green) and (blue, 1), so that one
// multiply-add of each pair gives every sum of products: no coefficient needs more than 16 bits.
// For 8-bit samples no clamp after a division binds: the luma numerator lies in 0 .. 255 * 65536
// + 128, the differences' in -255 * 32768 + 128 .. 255 * 32768 + 128.

PICTOR_AVX2_STEP __m256i PairOf(int16_t low, int16_t high) {
    return _mm256_set1_epi32(static_cast<int32_t>(
        static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16 | static_cast<uint16_t>(low)));
}

// (y - 1) / 255 for 1 <= y < 2^24: floor(65793 y / 2^24), in three shifts by 8 that keep every
// value below 2^26. The callers add the 1 where it costs nothing.
PICTOR_AVX2_STEP __m256i DivideLessOne255(__m256i y) {
    const __m256i z = _mm256_add_epi32(y, _mm256_srli_epi32(y, 8));
    return _mm256_srli_epi32(_mm256_add_epi32(y, _mm256_srli_epi32(z, 8)), 8);
}

// Truncating division of a signed numerator of magnitude below 2^24 - 1.
PICTOR_AVX2_STEP __m256i DivideTruncating255(__m256i n) {
    const __m256i y = _mm256_add_epi32(_mm256_abs_epi32(n), _mm256_set1_epi32(1));
    return _mm256_sign_epi32(DivideLessOne255(y), n);
}

// The luma sum divided by 255, at most 65536 (white only).
PICTOR_AVX2_STEP __m256i LumaQuotient(__m256i redGreen, __m256i blueOne) {
    const __m256i nextN = _mm256_add_epi32(_mm256_madd_epi16(redGreen, PairOf(19595, 19235)),
                                           _mm256_madd_epi16(blueOne, PairOf(7471, 128 + 1)));
    return DivideLessOne255(nextN);
}

// Sixteen quotients packed to 16 bits, which makes white's 65536 65535: (65535 s + 32768) >> 16
// = (65536 s + 32768) >> 16 for every scale s up to 32768. The rounded high half of the
// product is its high half plus the top bit of its low half.
PICTOR_AVX2_STEP __m256i LumaVector(__m256i quotients, __m256i scale, __m256i offset) {
    const __m256i high = _mm256_mulhi_epu16(quotients, scale);
    const __m256i roundUp = _mm256_srli_epi16(_mm256_mullo_epi16(quotients, scale), 15);
    return _mm256_add_epi16(_mm256_add_epi16(high, roundUp), offset);
}

// An add rather than a shift: the shifts and multiplies share the busiest ports.
PICTOR_AVX2_STEP __m256i Twice(__m256i v) { return _mm256_add_epi32(v, v); }

PICTOR_AVX2_STEP __m256i BlueDifferenceVector(__m256i redGreen, __m256i blueOne) {
    const __m256i n = _mm256_add_epi32(_mm256_madd_epi16(redGreen, PairOf(-11076, -10846)),
                                       Twice(_mm256_madd_epi16(blueOne, PairOf(16384, 64))));
    return DivideTruncating255(n);
}

PICTOR_AVX2_STEP __m256i RedDifferenceVector(__m256i redGreen, __m256i blueOne) {
    const __m256i n = _mm256_add_epi32(Twice(_mm256_madd_epi16(redGreen, PairOf(16384, -6865))),
                                       _mm256_madd_epi16(blueOne, PairOf(-5308, 128)));
    return DivideTruncating255(n);
}

// A pair sum lies in -65534 .. 65536, so its product p with the scale stays below 2^24 in
// magnitude. Halving p by a floor instead of a truncation changes the result only for
// p = 131072 m - 65537, none of which is a negative multiple of 255 or of 224 in that range; so
// the halving, the rounding, the shift and the 128 are one floor shift of p + 65536 + 128 * 2^17.
PICTOR_AVX2_STEP __m256i PairChromaVector(__m256i sum, __m256i scale) {
    const __m256i p = _mm256_mullo_epi32(sum, scale);
    return _mm256_srai_epi32(_mm256_add_epi32(p, _mm256_set1_epi32(65536 + (128 << 17))), 17);
}

struct VectorLevels {
    __m256i lumaScale;
    __m256i chromaScale;
    __m256i offset;
    __m256i lowerClip;
    __m256i upperLuma;
    __m256i upperChroma;
};

PICTOR_AVX2_STEP VectorLevels VectorLevelsOf(const Levels& l) {
    return {_mm256_set1_epi16(static_cast<int16_t>(l.lumaScale)),
            _mm256_set1_epi32(l.chromaScale),
            _mm256_set1_epi16(static_cast<int16_t>(l.offset)),
            _mm256_set1_epi8(static_cast<char>(l.lowerClip)),
            _mm256_set1_epi8(static_cast<char>(l.upperLuma)),
            _mm256_set1_epi8(static_cast<char>(l.upperChroma))};
}

// Sixteen pixels as 16-bit samples, in the order an in-lane unpack leaves them: their luma as
// 16-bit samples in the same order, and the sums of the colour differences of their pixel pairs.
// Packing undoes each in-lane unpack, so the bytes come out in the pixels' order.
PICTOR_AVX2_STEP void ConvertSixteen(__m256i red, __m256i green, __m256i blue,
                                     const VectorLevels& v, __m256i* luma, __m256i* blueSums,
                                     __m256i* redSums) {
    const __m256i twoGreen = _mm256_add_epi16(green, green);
    const __m256i one = _mm256_set1_epi16(1);
    const __m256i redGreenLow = _mm256_unpacklo_epi16(red, twoGreen);
    const __m256i redGreenHigh = _mm256_unpackhi_epi16(red, twoGreen);
    const __m256i blueOneLow = _mm256_unpacklo_epi16(blue, one);
    const __m256i blueOneHigh = _mm256_unpackhi_epi16(blue, one);
    const __m256i quotients = _mm256_packus_epi32(LumaQuotient(redGreenLow, blueOneLow),
                                                  LumaQuotient(redGreenHigh, blueOneHigh));
    *luma = LumaVector(quotients, v.lumaScale, v.offset);
    *blueSums = _mm256_hadd_epi32(BlueDifferenceVector(redGreenLow, blueOneLow),
                                  BlueDifferenceVector(redGreenHigh, blueOneHigh));
    *redSums = _mm256_hadd_epi32(RedDifferenceVector(redGreenLow, blueOneLow),
                                 RedDifferenceVector(redGreenHigh, blueOneHigh));
}

PICTOR_AVX2_STEP __m256i Clip(__m256i bytes, __m256i low, __m256i high) {
    return _mm256_max_epu8(_mm256_min_epu8(bytes, high), low);
}

// Thirty-two pixels' luma and the chroma of their sixteen pairs. Saturating packs before the
// clips change nothing: every clip lies within 0 .. 255.
PICTOR_AVX2_STEP void ConvertThirtyTwo(__m256i r, __m256i g, __m256i b, const VectorLevels& v,
                                       uint8_t* y, uint8_t* cb, uint8_t* cr) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i lumaLow, blueLow, redLow, lumaHigh, blueHigh, redHigh;
    ConvertSixteen(_mm256_unpacklo_epi8(r, zero), _mm256_unpacklo_epi8(g, zero),
                   _mm256_unpacklo_epi8(b, zero), v, &lumaLow, &blueLow, &redLow);
    ConvertSixteen(_mm256_unpackhi_epi8(r, zero), _mm256_unpackhi_epi8(g, zero),
                   _mm256_unpackhi_epi8(b, zero), v, &lumaHigh, &blueHigh, &redHigh);
    const __m256i luma = _mm256_packus_epi16(lumaLow, lumaHigh);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(y), Clip(luma, v.lowerClip, v.upperLuma));
    const __m256i blueChroma = _mm256_packus_epi32(PairChromaVector(blueLow, v.chromaScale),
                                                   PairChromaVector(blueHigh, v.chromaScale));
    const __m256i redChroma = _mm256_packus_epi32(PairChromaVector(redLow, v.chromaScale),
                                                  PairChromaVector(redHigh, v.chromaScale));
    // Blue 0..7, red 0..7, blue 8..15, red 8..15, then both planes' sixteen apart.
    const __m256i chroma = _mm256_permute4x64_epi64(_mm256_packus_epi16(blueChroma, redChroma),
                                                    _MM_SHUFFLE(3, 1, 2, 0));
    const __m256i clipped = Clip(chroma, v.lowerClip, v.upperChroma);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cb), _mm256_castsi256_si128(clipped));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cr), _mm256_extracti128_si256(clipped, 1));
}

// Thirty-two pixels a step; the scalar row takes the rest.
__attribute__((target("avx2"))) void ConvertRowAvx2(const uint8_t* red, const uint8_t* green,
                                                    const uint8_t* blue, uint8_t* y, uint8_t* cb,
                                                    uint8_t* cr, int32_t width, const Levels& l) {
    const VectorLevels v = VectorLevelsOf(l);
    int32_t n = 0;
    for (; n + 32 <= width; n += 32) {
        ConvertThirtyTwo(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(red + n)),
                         _mm256_loadu_si256(reinterpret_cast<const __m256i*>(green + n)),
                         _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blue + n)), v, y + n,
                         cb + n / 2, cr + n / 2);
    }
    ConvertRow(red + n, green + n, blue + n, y + n, cb + n / 2, cr + n / 2, width - n, l);
}

// Sixteen bytes of each 128-bit half of three vectors picked into one: the pixels' samples of
// one colour, 16 pixels of 3 bytes in each half.
PICTOR_AVX2_STEP __m256i PickPart(__m256i a, const int8_t* picks) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(picks));
    return _mm256_shuffle_epi8(a, _mm256_broadcastsi128_si256(p));
}

PICTOR_AVX2_STEP __m256i PickSamples(__m256i a0, __m256i a1, __m256i a2, const int8_t* picks) {
    return _mm256_or_si256(_mm256_or_si256(PickPart(a0, picks), PickPart(a1, picks + 16)),
                           PickPart(a2, picks + 32));
}

// Of 48 bytes of 16 interleaved pixels in three 16-byte parts, where each colour's samples lie;
// -1 picks nothing.
alignas(16) constexpr int8_t kPicks[3][48] = {
    {0, 3,  6,  9,  12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2,  5,
     8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1,  4,  7,  10, 13},
    {1, 4,  7,  10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3,  6,
     9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2,  5,  8, 11, 14},
    {2,  5,  8,  11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
     -1, -1, -1, -1, -1, 1,  4,  7,  10, 13, -1, -1, -1, -1, -1, -1,
     -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0,  3,  6,  9,  12, 15}};

PICTOR_AVX2_STEP __m256i TwoParts(const uint8_t* low, const uint8_t* high) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}

// Thirty-two pixels from interleaved samples, three bytes a pixel: each half of the vectors takes
// 16 pixels apart, so the picked samples come out in the pixels' order.
PICTOR_AVX2_STEP void ConvertInterleavedThirtyTwo(const uint8_t* p, const VectorLevels& v,
                                                  uint8_t* y, uint8_t* cb, uint8_t* cr) {
    const __m256i a0 = TwoParts(p, p + 48), a1 = TwoParts(p + 16, p + 64),
                  a2 = TwoParts(p + 32, p + 80);
    ConvertThirtyTwo(PickSamples(a0, a1, a2, kPicks[0]), PickSamples(a0, a1, a2, kPicks[1]),
                     PickSamples(a0, a1, a2, kPicks[2]), v, y, cb, cr);
}

// A row of them. The row's last pixels take one more step from a pair's start at most 32 pixels
// before the end: the pixels both steps take come out the same, and at most one pixel is left.
__attribute__((target("avx2"))) void ConvertInterleavedRowAvx2(const uint8_t* rgb, uint8_t* y,
                                                               uint8_t* cb, uint8_t* cr,
                                                               int32_t width, const Levels& l) {
    const VectorLevels v = VectorLevelsOf(l);
    int32_t n = 0;
    for (; n + 32 <= width; n += 32)
        ConvertInterleavedThirtyTwo(rgb + 3 * static_cast<int64_t>(n), v, y + n, cb + n / 2,
                                    cr + n / 2);
    if (width >= 32 && n < width) {
        n = (width - 32) & ~1;
        ConvertInterleavedThirtyTwo(rgb + 3 * static_cast<int64_t>(n), v, y + n, cb + n / 2,
                                    cr + n / 2);
        n += 32;
    }
    ConvertInterleavedRowPortable(rgb + 3 * static_cast<int64_t>(n), y + n, cb + n / 2, cr + n / 2,
                                  width - n, l);
}

}  // namespace

namespace colour_steps {

__attribute__((target("avx2"))) void ConvertRowsAvx2(const PicturePlanes& planes, uint32_t width,
                                                     uint32_t to, uint32_t first, uint32_t end,
                                                     const Levels& l) {
    const uint64_t w = width;
    for (uint64_t r = first; r < end; ++r) {
        const uint64_t t = to + r;
        ConvertRowAvx2(planes.red + r * w, planes.green + r * w, planes.blue + r * w,
                       planes.y + t * w, planes.cb + t * (w / 2), planes.cr + t * (w / 2),
                       static_cast<int32_t>(w), l);
    }
}

__attribute__((target("avx2"))) void ConvertInterleavedRowsAvx2(
    const uint8_t* pixels, int64_t stride, const PicturePlanes& planes, uint32_t width, uint32_t to,
    uint32_t first, uint32_t end, const Levels& l) {
    const uint64_t w = width;
    for (uint64_t r = first; r < end; ++r) {
        const uint64_t t = to + r;
        ConvertInterleavedRowAvx2(pixels + static_cast<int64_t>(r) * stride, planes.y + t * w,
                                  planes.cb + t * (w / 2), planes.cr + t * (w / 2),
                                  static_cast<int32_t>(w), l);
    }
}

}  // namespace colour_steps

namespace {

PICTOR_AVX2_STEP __m256i EightSamples(const uint8_t* samples) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples)));
}

// Eight pixels' samples in 32-bit lanes as the pairs (red, 2 green) and (blue, 1).
__attribute__((target("avx2"))) void DifferencesOfEight(const uint8_t* red, const uint8_t* green,
                                                        const uint8_t* blue, int32_t* blueOut,
                                                        int32_t* redOut) {
    const __m256i g = EightSamples(green);
    const __m256i redGreen =
        _mm256_or_si256(EightSamples(red), _mm256_slli_epi32(_mm256_add_epi32(g, g), 16));
    const __m256i blueOne = _mm256_or_si256(EightSamples(blue), _mm256_set1_epi32(1 << 16));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(blueOut),
                        BlueDifferenceVector(redGreen, blueOne));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(redOut), RedDifferenceVector(redGreen, blueOne));
}

// Packed and clipped as the row packs them; the eight bytes gathered from the two lanes.
__attribute__((target("avx2"))) void ChromaOfEight(const int32_t* sums, const Levels& l,
                                                   uint8_t* out) {
    const VectorLevels v = VectorLevelsOf(l);
    const __m256i c =
        PairChromaVector(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums)), v.chromaScale);
    const __m256i words = _mm256_packus_epi32(c, c);
    const __m256i bytes = Clip(_mm256_packus_epi16(words, words), v.lowerClip, v.upperChroma);
    const __m256i gathered =
        _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 0, 0, 0, 0, 0, 0));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(gathered));
}

}  // namespace
#endif

bool ConvertRowVector(const uint8_t* red, const uint8_t* green, const uint8_t* blue, int32_t width,
                      const ColourLevels& levels, uint8_t* y, uint8_t* cb, uint8_t* cr) {
#if defined(__x86_64__) || defined(__i386__)
    if (!CpuHasAvx2()) return false;
    ConvertRowAvx2(red, green, blue, y, cb, cr, width, LevelsOf(levels));
    return true;
#else
    return false;
#endif
}

bool ColourDifferencesVector(const uint8_t* red, const uint8_t* green, const uint8_t* blue,
                             int32_t count, int32_t* blueDifferences, int32_t* redDifferences) {
#if defined(__x86_64__) || defined(__i386__)
    if (!CpuHasAvx2()) return false;
    for (int32_t n = 0; n + 8 <= count; n += 8)
        DifferencesOfEight(red + n, green + n, blue + n, blueDifferences + n, redDifferences + n);
    return true;
#else
    return false;
#endif
}

bool ChromaOfSumsVector(const int32_t* sums, int32_t count, const ColourLevels& levels,
                        uint8_t* chroma) {
#if defined(__x86_64__) || defined(__i386__)
    if (!CpuHasAvx2()) return false;
    const Levels l = LevelsOf(levels);
    for (int32_t n = 0; n + 8 <= count; n += 8) ChromaOfEight(sums + n, l, chroma + n);
    return true;
#else
    return false;
#endif
}
