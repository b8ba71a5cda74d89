// The chroma decimation filter: the portable row and its AVX2 kernel.
#include "convert/chroma_decimation.h"

#include "platform/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

void DecimateChromaRowPortable(const uint8_t* const rows[8], uint8_t* __restrict out, int32_t x0,
                               int32_t x1) {
    // Written out so the compiler vectorises the row.
    const uint8_t* __restrict r0 = rows[0];
    const uint8_t* __restrict r1 = rows[1];
    const uint8_t* __restrict r2 = rows[2];
    const uint8_t* __restrict r3 = rows[3];
    const uint8_t* __restrict r4 = rows[4];
    const uint8_t* __restrict r5 = rows[5];
    const uint8_t* __restrict r6 = rows[6];
    const uint8_t* __restrict r7 = rows[7];
    for (int32_t x = x0; x < x1; ++x) {
        const int32_t sum = 128 + kDecimationTaps[0] * r0[x] + kDecimationTaps[1] * r1[x] +
                            kDecimationTaps[2] * r2[x] + kDecimationTaps[3] * r3[x] +
                            kDecimationTaps[4] * r4[x] + kDecimationTaps[5] * r5[x] +
                            kDecimationTaps[6] * r6[x] + kDecimationTaps[7] * r7[x];
        int32_t v = sum / 256;
        v = v < 0 ? 0 : v;
        out[x] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
}

#if defined(__x86_64__) || defined(__i386__)
namespace {

// Two rows' sixteen samples under two taps, as 32-bit sums in the order an in-lane unpack
// leaves them (samples 0..3 and 8..11 in `low`, 4..7 and 12..15 in `high`).
__attribute__((target("avx2"), always_inline)) inline void AddRowPair(const uint8_t* a,
                                                                      const uint8_t* b, int32_t ta,
                                                                      int32_t tb, __m256i* low,
                                                                      __m256i* high) {
    const __m256i wa = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)));
    const __m256i wb = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b)));
    const __m256i taps = _mm256_set1_epi32(static_cast<int32_t>(
        static_cast<uint32_t>(static_cast<uint16_t>(tb)) << 16 | static_cast<uint16_t>(ta)));
    *low = _mm256_add_epi32(*low, _mm256_madd_epi16(_mm256_unpacklo_epi16(wa, wb), taps));
    *high = _mm256_add_epi32(*high, _mm256_madd_epi16(_mm256_unpackhi_epi16(wa, wb), taps));
}

// Sixteen samples a step. A sum lies in -38 x 255 + 128 .. 294 x 255 + 128: its floor shift by 8
// fits 16 bits, and is below 0 exactly where the truncating division is at most 0, which the
// limit takes to 0 either way; the saturating packs do the limits.
__attribute__((target("avx2"))) void DecimateRowAvx2(const uint8_t* const rows[8], uint8_t* out,
                                                     int32_t x0, int32_t x1) {
    int32_t x = x0;
    for (; x + 16 <= x1; x += 16) {
        __m256i low = _mm256_set1_epi32(128), high = low;
        for (int t = 0; t < 8; t += 2)
            AddRowPair(rows[t] + x, rows[t + 1] + x, kDecimationTaps[t], kDecimationTaps[t + 1],
                       &low, &high);
        const __m256i words =
            _mm256_packs_epi32(_mm256_srai_epi32(low, 8), _mm256_srai_epi32(high, 8));
        const __m256i bytes = _mm256_packus_epi16(words, words);
        const __m256i ordered = _mm256_permute4x64_epi64(bytes, _MM_SHUFFLE(3, 1, 2, 0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm256_castsi256_si128(ordered));
    }
    DecimateChromaRowPortable(rows, out, x, x1);
}

}  // namespace
#endif

void DecimateChromaRow(const uint8_t* const rows[8], uint8_t* out, int32_t x0, int32_t x1) {
#if defined(__x86_64__) || defined(__i386__)
    static const bool avx2 = CpuHasAvx2();
    if (avx2) return DecimateRowAvx2(rows, out, x0, x1);
#endif
    DecimateChromaRowPortable(rows, out, x0, x1);
}
