// The forward DCT over lanes of blocks: each lane computes exactly the reference's double
// operations in the reference's order, so every lane gives the reference's bits. No operation is
// fused (the build forbids contraction, and no variant enables FMA).
#include "coding/transform_lanes.h"

#include <cmath>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "coding/tables.h"

// The helpers below take and return vectors; each is inlined into a function of its own
// instruction set, so no call ever passes a vector between functions of different ones.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

#define PICTOR_LANES inline __attribute__((always_inline))

// L blocks side by side: D holds one double, I one 32-bit integer of each.
template <int L>
struct Lanes;
template <>
struct Lanes<1> {
    using D = double;
    using I = int32_t;
};
template <>
struct Lanes<4> {
    typedef double D __attribute__((vector_size(32)));
    typedef int32_t I __attribute__((vector_size(16)));
};
template <>
struct Lanes<8> {
    typedef double D __attribute__((vector_size(64)));
    typedef int32_t I __attribute__((vector_size(32)));
};

template <int L>
PICTOR_LANES typename Lanes<L>::D ToDouble(const int32_t* lanes) {
    if constexpr (L == 1) {
        return static_cast<double>(*lanes);
    } else {
        typename Lanes<L>::I v;
        std::memcpy(&v, lanes, sizeof v);
        return __builtin_convertvector(v, typename Lanes<L>::D);
    }
}

// Halves away from zero (v + 0.5 truncated above 0, v - 0.5 truncated otherwise), clamped to
// -2048..2047.
template <int L>
PICTOR_LANES void RoundAndClamp(typename Lanes<L>::D v, int32_t* lanes) {
    if constexpr (L == 1) {
        // v + 0.5 above 0 and v - 0.5 below, without a branch on the sign; at 0 either gives
        // 0 once truncated.
        int32_t r = static_cast<int32_t>(v + std::copysign(0.5, v));
        r = r < -2048 ? -2048 : r;
        *lanes = r > 2047 ? 2047 : r;
    } else {
        using I = typename Lanes<L>::I;
        const typename Lanes<L>::D rounded = v > 0.0 ? v + 0.5 : v - 0.5;
        I r = __builtin_convertvector(rounded, I);
        const I low = I{} - 2048;
        const I high = I{} + 2047;
        r = r < low ? low : r;
        r = r > high ? high : r;
        std::memcpy(lanes, &r, sizeof r);
    }
}

// in[p][lane]: clamped sample p of each lane's block; out[p][lane]: its rounded coefficient p.
template <int L>
PICTOR_LANES void TransformLanes(const int32_t (*in)[L], int32_t (*out)[L]) {
    using D = typename Lanes<L>::D;
    D rows[64];
    D y[8];
    for (int r = 0; r < 8; ++r) {
        D x[8];
        for (int c = 0; c < 8; ++c) x[c] = ToDouble<L>(in[8 * r + c]);
        Dct8(x, 1, y);
        y[2] = y[2] * kSqrt2;
        y[3] = y[3] * kSqrt2;
        y[5] = y[5] * kSqrt2;
        y[6] = y[6] * kSqrt2;
        for (int u = 0; u < 8; ++u) rows[8 * r + u] = y[u];
    }
    for (int u = 0; u < 8; ++u) {
        Dct8(rows + u, 8, y);
        RoundAndClamp<L>(y[0] * 0.125, out[u]);
        RoundAndClamp<L>(y[1] * 0.125, out[8 + u]);
        RoundAndClamp<L>(y[2] / kFourSqrt2, out[16 + u]);
        RoundAndClamp<L>(y[3] / kFourSqrt2, out[24 + u]);
        RoundAndClamp<L>(y[4] * 0.125, out[32 + u]);
        RoundAndClamp<L>(y[5] / kFourSqrt2, out[40 + u]);
        RoundAndClamp<L>(y[6] / kFourSqrt2, out[48 + u]);
        RoundAndClamp<L>(y[7] * 0.125, out[56 + u]);
    }
}

// Blocks of 32-bit samples, clamped in place to -256..255, into raster order; lanes past
// `count` compute zeros.
template <int L>
PICTOR_LANES void ForwardDctGroups(int32_t* const* blocks, int32_t* const* out, int count) {
    for (int first = 0; first < count; first += L) {
        const int n = count - first < L ? count - first : L;
        alignas(64) int32_t in[64][L] = {};
        alignas(64) int32_t result[64][L];
        for (int lane = 0; lane < n; ++lane) {
            int32_t* block = blocks[first + lane];
            for (int p = 0; p < 64; ++p) {
                int32_t v = block[p];
                v = v < -256 ? -256 : v;
                v = v > 255 ? 255 : v;
                block[p] = v;
                in[p][lane] = v;
            }
        }
        TransformLanes<L>(in, result);
        for (int lane = 0; lane < n; ++lane) {
            for (int p = 0; p < 64; ++p) out[first + lane][p] = result[p][lane];
        }
    }
}

// One group of lanes of 8-bit samples, lanes past `n` zero: in[8r + c][lane] = sample (r, c).
template <int L>
PICTOR_LANES void LoadSamples(const uint8_t* const* origins, int32_t stride, int n,
                              int32_t (*in)[L]) {
    for (int lane = 0; lane < L; ++lane) {
        // Lanes past `n` have no block: their origins are not to be offset, only zeroed.
        if (lane >= n) {
            for (int p = 0; p < 64; ++p) in[p][lane] = 0;
            continue;
        }
        const uint8_t* origin = origins[lane];
        for (int r = 0; r < 8; ++r) {
            const uint8_t* row = origin + static_cast<int64_t>(r) * stride;
            for (int c = 0; c < 8; ++c) in[8 * r + c][lane] = row[c];
        }
    }
}

// Each lane's coefficients, result[p][lane] in raster order, into its block in scan order.
template <int L>
PICTOR_LANES void StoreScan(const int32_t (*result)[L], int16_t* const* out, int n) {
    for (int lane = 0; lane < n; ++lane) {
        int16_t* block = out[lane];
        for (int k = 0; k < 64; ++k) {
            const ScanPosition p = kZigZagScan[k];
            block[k] = static_cast<int16_t>(result[p.column + 8 * p.row][lane]);
        }
    }
}

// 8-bit samples (within the clamp) into scan order, `Whole::Load` and `Whole::Store` moving
// whole groups of L lanes in and out, the lanes of a last part group going one by one. Written
// out in each variant's function, whose instruction set Whole's functions need.
#define PICTOR_TRANSFORM_GROUPS(L, Whole)                    \
    for (int first = 0; first < count; first += L) {         \
        const int n = count - first < L ? count - first : L; \
        alignas(64) int32_t in[64][L];                       \
        alignas(64) int32_t result[64][L];                   \
        if (n == L) {                                        \
            Whole::Load(origins + first, stride, in);        \
        } else {                                             \
            LoadSamples<L>(origins + first, stride, n, in);  \
        }                                                    \
        TransformLanes<L>(in, result);                       \
        if (n == L) {                                        \
            Whole::Store(result, out + first);               \
        } else {                                             \
            StoreScan<L>(result, out + first, n);            \
        }                                                    \
    }

// Scalar groups of one lane.
struct WholeGroupsOfOne {
    static PICTOR_LANES void Load(const uint8_t* const* origins, int32_t stride, int32_t (*in)[1]) {
        LoadSamples<1>(origins, stride, 1, in);
    }
    static PICTOR_LANES void Store(const int32_t (*result)[1], int16_t* const* out) {
        StoreScan<1>(result, out, 1);
    }
};

}  // namespace

void ForwardDctBlocksScalar(int32_t* const* blocks, int32_t* const* out, int count) {
    ForwardDctGroups<1>(blocks, out, count);
}

void TransformBlocksScalar(const uint8_t* const* origins, int32_t stride, int16_t* const* out,
                           int count) {
    PICTOR_TRANSFORM_GROUPS(1, WholeGroupsOfOne)
}

#if PICTOR_DCT_VECTORS

namespace {

#define PICTOR_AVX2 inline __attribute__((target("avx2"), always_inline))
#define PICTOR_AVX512 inline __attribute__((target("avx512f"), always_inline))

// Four blocks: their rows transposed byte by byte, so each sample position holds one byte of
// every block; scan-ordered coefficients gathered back per block by 16-bit transposes.
struct WholeGroupsOfFour {
    static PICTOR_AVX2 void Load(const uint8_t* const* origins, int32_t stride, int32_t (*in)[4]) {
        for (int r = 0; r < 8; ++r) {
            const int64_t at = static_cast<int64_t>(r) * stride;
            __m128i row[4];
            for (int lane = 0; lane < 4; ++lane)
                row[lane] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(origins[lane] + at));
            const __m128i t01 = _mm_unpacklo_epi8(row[0], row[1]);
            const __m128i t23 = _mm_unpacklo_epi8(row[2], row[3]);
            const __m128i columns[2] = {_mm_unpacklo_epi16(t01, t23), _mm_unpackhi_epi16(t01, t23)};
            // Sample column c is the four bytes at 4 (c % 4) of columns[c / 4]; the shifts take
            // immediates.
            const __m128i four[8] = {columns[0],
                                     _mm_srli_si128(columns[0], 4),
                                     _mm_srli_si128(columns[0], 8),
                                     _mm_srli_si128(columns[0], 12),
                                     columns[1],
                                     _mm_srli_si128(columns[1], 4),
                                     _mm_srli_si128(columns[1], 8),
                                     _mm_srli_si128(columns[1], 12)};
            for (int c = 0; c < 8; ++c) {
                _mm_store_si128(reinterpret_cast<__m128i*>(in[8 * r + c]),
                                _mm_cvtepu8_epi32(four[c]));
            }
        }
    }
    static PICTOR_AVX2 void Store(const int32_t (*result)[4], int16_t* const* out) {
        for (int g = 0; g < 8; ++g) {
            __m128i pair[4];
            for (int j = 0; j < 4; ++j) {
                const ScanPosition a = kZigZagScan[8 * g + 2 * j];
                const ScanPosition b = kZigZagScan[8 * g + 2 * j + 1];
                pair[j] = _mm_packs_epi32(
                    _mm_load_si128(reinterpret_cast<const __m128i*>(result[a.column + 8 * a.row])),
                    _mm_load_si128(reinterpret_cast<const __m128i*>(result[b.column + 8 * b.row])));
            }
            const __m128i a0 = _mm_unpacklo_epi16(pair[0], pair[1]);
            const __m128i a1 = _mm_unpackhi_epi16(pair[0], pair[1]);
            const __m128i a2 = _mm_unpacklo_epi16(pair[2], pair[3]);
            const __m128i a3 = _mm_unpackhi_epi16(pair[2], pair[3]);
            const __m128i b0 = _mm_unpacklo_epi16(a0, a1);
            const __m128i b1 = _mm_unpackhi_epi16(a0, a1);
            const __m128i b2 = _mm_unpacklo_epi16(a2, a3);
            const __m128i b3 = _mm_unpackhi_epi16(a2, a3);
            const __m128i lanes[4] = {_mm_unpacklo_epi64(b0, b2), _mm_unpackhi_epi64(b0, b2),
                                      _mm_unpacklo_epi64(b1, b3), _mm_unpackhi_epi64(b1, b3)};
            for (int lane = 0; lane < 4; ++lane)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out[lane] + 8 * g), lanes[lane]);
        }
    }
};

// Eight blocks, the same way.
struct WholeGroupsOfEight {
    static PICTOR_AVX512 void Load(const uint8_t* const* origins, int32_t stride,
                                   int32_t (*in)[8]) {
        for (int r = 0; r < 8; ++r) {
            const int64_t at = static_cast<int64_t>(r) * stride;
            __m128i row[8];
            for (int lane = 0; lane < 8; ++lane)
                row[lane] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(origins[lane] + at));
            const __m128i t01 = _mm_unpacklo_epi8(row[0], row[1]);
            const __m128i t23 = _mm_unpacklo_epi8(row[2], row[3]);
            const __m128i t45 = _mm_unpacklo_epi8(row[4], row[5]);
            const __m128i t67 = _mm_unpacklo_epi8(row[6], row[7]);
            const __m128i low03 = _mm_unpacklo_epi16(t01, t23);
            const __m128i low47 = _mm_unpacklo_epi16(t45, t67);
            const __m128i high03 = _mm_unpackhi_epi16(t01, t23);
            const __m128i high47 = _mm_unpackhi_epi16(t45, t67);
            const __m128i columns[4] = {
                _mm_unpacklo_epi32(low03, low47), _mm_unpackhi_epi32(low03, low47),
                _mm_unpacklo_epi32(high03, high47), _mm_unpackhi_epi32(high03, high47)};
            for (int c = 0; c < 8; ++c) {
                const __m128i eight =
                    c % 2 == 0 ? columns[c / 2] : _mm_srli_si128(columns[c / 2], 8);
                _mm256_store_si256(reinterpret_cast<__m256i*>(in[8 * r + c]),
                                   _mm256_cvtepu8_epi32(eight));
            }
        }
    }
    static PICTOR_AVX512 void Store(const int32_t (*result)[8], int16_t* const* out) {
        for (int g = 0; g < 8; ++g) {
            __m128i x[8];
            for (int j = 0; j < 8; ++j) {
                const ScanPosition p = kZigZagScan[8 * g + j];
                const __m256i v = _mm256_load_si256(
                    reinterpret_cast<const __m256i*>(result[p.column + 8 * p.row]));
                x[j] = _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
            }
            __m128i a[8];
            for (int j = 0; j < 4; ++j) {
                a[2 * j] = _mm_unpacklo_epi16(x[2 * j], x[2 * j + 1]);
                a[2 * j + 1] = _mm_unpackhi_epi16(x[2 * j], x[2 * j + 1]);
            }
            const __m128i b[8] = {_mm_unpacklo_epi32(a[0], a[2]), _mm_unpackhi_epi32(a[0], a[2]),
                                  _mm_unpacklo_epi32(a[1], a[3]), _mm_unpackhi_epi32(a[1], a[3]),
                                  _mm_unpacklo_epi32(a[4], a[6]), _mm_unpackhi_epi32(a[4], a[6]),
                                  _mm_unpacklo_epi32(a[5], a[7]), _mm_unpackhi_epi32(a[5], a[7])};
            for (int j = 0; j < 4; ++j) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out[2 * j] + 8 * g),
                                 _mm_unpacklo_epi64(b[j], b[j + 4]));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out[2 * j + 1] + 8 * g),
                                 _mm_unpackhi_epi64(b[j], b[j + 4]));
            }
        }
    }
};

}  // namespace

__attribute__((target("avx2"))) void ForwardDctBlocksAvx2(int32_t* const* blocks,
                                                          int32_t* const* out, int count) {
    ForwardDctGroups<4>(blocks, out, count);
}

__attribute__((target("avx2"))) void TransformBlocksAvx2(const uint8_t* const* origins,
                                                         int32_t stride, int16_t* const* out,
                                                         int count) {
    PICTOR_TRANSFORM_GROUPS(4, WholeGroupsOfFour)
}

__attribute__((target("avx512f"))) void ForwardDctBlocksAvx512(int32_t* const* blocks,
                                                               int32_t* const* out, int count) {
    ForwardDctGroups<8>(blocks, out, count);
}

__attribute__((target("avx512f"))) void TransformBlocksAvx512(const uint8_t* const* origins,
                                                              int32_t stride, int16_t* const* out,
                                                              int count) {
    PICTOR_TRANSFORM_GROUPS(8, WholeGroupsOfEight)
}

#endif
