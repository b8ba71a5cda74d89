// Counting a block's AC code bits. Most levels of a coded picture are small and follow short
// runs, so where the processor compresses and permutes bytes the lengths of those come from two
// 128-byte tables at once, and only the rest are looked up one by one.
#include "coding/code_lengths.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "coding/tables.h"
#include "platform/cpu_features.h"

namespace {

constexpr int kRunStride = kLargestTabledMagnitude + 1;

// Runs 0..31 with magnitudes 0..3 at run * 4 + m, runs 0..7 with magnitudes 0..15 at
// run * 16 + m: each a byte-permute table of 128 entries.
struct ShortCodeLengths {
    uint8_t shortRuns[128];
    uint8_t smallLevels[128];
};

ShortCodeLengths ShortCodeLengthsOf() {
    ShortCodeLengths t{};
    for (int i = 0; i < 128; ++i) {
        t.shortRuns[i] = kAcLengths.at[i / 4][i % 4];
        t.smallLevels[i] = kAcLengths.at[i / 16][i % 16];
    }
    return t;
}
// Made as the library loads, from the length table, which is constant before any code runs.
const ShortCodeLengths kShortCodeLengths = ShortCodeLengthsOf();

// The levels of `rest`, each with its run from the non-zero levels of `nonZero` before it.
int32_t LookUpEach(const uint8_t* magnitudes, uint64_t nonZero, uint64_t rest) {
    const uint8_t* lengths = &kAcLengths.at[0][0];
    int32_t bits = 0;
    for (; rest != 0; rest &= rest - 1) {
        const int k = __builtin_ctzll(rest);
        const uint64_t below = nonZero & ((uint64_t{1} << k) - 1);
        const int previous = 63 - __builtin_clzll(below | 1);
        bits += lengths[(k - previous - 1) * kRunStride + magnitudes[k]];
    }
    return bits;
}

// min(|level|, kLargestTabledMagnitude) of a block's 64 levels, index 0 held at 0.
void TabledMagnitudes(const int16_t* levels, uint8_t* magnitudes) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i largest = _mm_set1_epi16(kLargestTabledMagnitude);
    for (int k = 0; k < 64; k += 16) {
        __m128i m[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(levels + k + 8 * h));
            m[h] = _mm_min_epi16(_mm_max_epi16(l, _mm_sub_epi16(zero, l)), largest);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(magnitudes + k), _mm_packus_epi16(m[0], m[1]));
    }
#else
    for (int k = 0; k < 64; ++k) {
        const int32_t m = levels[k] < 0 ? -levels[k] : levels[k];
        magnitudes[k] =
            static_cast<uint8_t>(m < kLargestTabledMagnitude ? m : kLargestTabledMagnitude);
    }
#endif
    magnitudes[0] = 0;
}

#if defined(__x86_64__) || defined(__i386__)
// GCC's own AVX-512 headers start some results from undefined registers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// The instruction sets of the fast path: byte instructions, byte permutes and byte compresses.
#define PICTOR_COUNT_TARGET "avx512f,avx512bw,avx512vbmi,avx512vbmi2"

// The bits of the levels whose tabled magnitudes are `m`: the non-zero levels packed into the
// first lanes, in scan order, each with its run from the one before; those of the short runs and
// small levels from the tables, the rest one by one.
__attribute__((target(PICTOR_COUNT_TARGET))) inline int32_t CountLanes(__m512i m,
                                                                       uint64_t nonZero) {
    alignas(64) static constexpr uint8_t kLanes[64] = {
        0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
        22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
        44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};
    const __m512i lane = _mm512_load_si512(kLanes);
    const __m512i at = _mm512_maskz_compress_epi8(nonZero, lane);
    const __m512i level = _mm512_maskz_compress_epi8(nonZero, m);
    // Bit 0 (the DC) is never set, so at most 63 lanes are filled.
    const __mmask64 filled = (uint64_t{1} << __builtin_popcountll(nonZero)) - 1;
    // The first level's run is counted from the DC, at scan index 0.
    const __m512i before =
        _mm512_maskz_permutexvar_epi8(~uint64_t{1}, _mm512_sub_epi8(lane, _mm512_set1_epi8(1)), at);
    const __m512i run = _mm512_sub_epi8(_mm512_sub_epi8(at, before), _mm512_set1_epi8(1));

    const __mmask64 shortRun = _mm512_cmple_epu8_mask(run, _mm512_set1_epi8(31)) &
                               _mm512_cmple_epu8_mask(level, _mm512_set1_epi8(3)) & filled;
    const __mmask64 smallLevel = _mm512_cmple_epu8_mask(run, _mm512_set1_epi8(7)) &
                                 _mm512_cmple_epu8_mask(level, _mm512_set1_epi8(15)) & filled &
                                 ~shortRun;
    // The runs are cut to the tables' before they are shifted, so that no lane's bits reach the
    // next lane (the shift is by 16-bit pairs of lanes); the lanes cut are masked off.
    const __m512i* t = reinterpret_cast<const __m512i*>(&kShortCodeLengths);
    const __m512i runs32 = _mm512_and_si512(run, _mm512_set1_epi8(31));
    const __m512i runs8 = _mm512_and_si512(run, _mm512_set1_epi8(7));
    const __m512i a = _mm512_maskz_permutex2var_epi8(
        shortRun, _mm512_loadu_si512(t), _mm512_or_si512(_mm512_slli_epi16(runs32, 2), level),
        _mm512_loadu_si512(t + 1));
    const __m512i b = _mm512_maskz_permutex2var_epi8(
        smallLevel, _mm512_loadu_si512(t + 2), _mm512_or_si512(_mm512_slli_epi16(runs8, 4), level),
        _mm512_loadu_si512(t + 3));
    const __m512i sums = _mm512_sad_epu8(_mm512_add_epi8(a, b), _mm512_setzero_si512());
    int32_t bits = static_cast<int32_t>(_mm512_reduce_add_epi64(sums));
    uint64_t rest = filled & ~(shortRun | smallLevel);
    if (rest == 0) return bits;
    alignas(64) uint8_t runs[64], levels[64];
    _mm512_store_si512(runs, run);
    _mm512_store_si512(levels, level);
    for (; rest != 0; rest &= rest - 1) {
        const int i = __builtin_ctzll(rest);
        bits += kAcLengths.at[runs[i]][levels[i]];
    }
    return bits;
}

__attribute__((target(PICTOR_COUNT_TARGET))) int32_t AcCodeBitsFast(const uint8_t* magnitudes,
                                                                    uint64_t nonZero) {
    return CountLanes(_mm512_loadu_si512(magnitudes), nonZero);
}

__attribute__((target(PICTOR_COUNT_TARGET))) int32_t LevelCodeBitsFast(const int16_t* levels,
                                                                       uint64_t nonZero,
                                                                       uint8_t* magnitudes) {
    const __m512i largest = _mm512_set1_epi16(kLargestTabledMagnitude);
    const __m512i low = _mm512_min_epi16(_mm512_abs_epi16(_mm512_loadu_si512(levels)), largest);
    const __m512i high =
        _mm512_min_epi16(_mm512_abs_epi16(_mm512_loadu_si512(levels + 32)), largest);
    __m512i m = _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi16_epi8(low)),
                                   _mm512_cvtepi16_epi8(high), 1);
    m = _mm512_maskz_mov_epi8(~uint64_t{1}, m);
    _mm512_storeu_si512(magnitudes, m);
    return CountLanes(m, nonZero);
}
#pragma GCC diagnostic pop
#undef PICTOR_COUNT_TARGET
#endif

}  // namespace

int32_t AcCodeBitsPortable(const uint8_t* magnitudes, uint64_t nonZero) {
    return LookUpEach(magnitudes, nonZero, nonZero);
}

int32_t LevelCodeBitsPortable(const int16_t* levels, uint64_t nonZero, uint8_t* magnitudes) {
    TabledMagnitudes(levels, magnitudes);
    return LookUpEach(magnitudes, nonZero, nonZero);
}

int32_t AcCodeBits(const uint8_t* magnitudes, uint64_t nonZero) {
#if defined(__x86_64__) || defined(__i386__)
    static const auto count = CpuHasAvx512Vbmi2() ? AcCodeBitsFast : AcCodeBitsPortable;
    return count(magnitudes, nonZero);
#else
    return AcCodeBitsPortable(magnitudes, nonZero);
#endif
}

int32_t LevelCodeBits(const int16_t* levels, uint64_t nonZero, uint8_t* magnitudes) {
#if defined(__x86_64__) || defined(__i386__)
    static const auto count = CpuHasAvx512Vbmi2() ? LevelCodeBitsFast : LevelCodeBitsPortable;
    return count(levels, nonZero, magnitudes);
#else
    return LevelCodeBitsPortable(levels, nonZero, magnitudes);
#endif
}
