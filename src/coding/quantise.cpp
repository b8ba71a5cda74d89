// Macroblock fetch, coefficient store and reload, and the intra quantiser.
#include "coding/quantise.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "coding/tables.h"
#include "coding/transform.h"

thread_local IntraMatrix* tIntraMatrix = nullptr;

void ResetIntraMatrix() { *tIntraMatrix = IntraMatrix{}; }

namespace {

// Luma offsets of Y0..Y3 inside the macroblock.
constexpr int kLumaBlockX[4] = {0, 8, 0, 8};
constexpr int kLumaBlockY[4] = {0, 0, 8, 8};

void FetchBlock(const uint8_t* plane, int stride, int x, int y, int32_t* block) {
    for (int r = 0; r < 8; ++r) {
        const uint8_t* row = plane + static_cast<int64_t>(y + r) * stride + x;
        for (int c = 0; c < 8; ++c) block[8 * r + c] = row[c];
    }
}

// The AC levels of one block: sign(c) x min(((16|c| + w/2) / w + offset) / 2q, 2047), each
// division as a product with the reciprocal (ScanQuantiser). A zero coefficient gives 0, as does
// a zero first quotient: the offset is below 2q. Returns the non-zero levels as bits.
#if defined(__SSE2__)
uint64_t QuantiseAcPortable(const ScanQuantiser& quantiser, float stepReciprocal, int32_t offset,
                            const int16_t* coefficients, int16_t* level, uint32_t groups) {
    const __m128i zero = _mm_setzero_si128();
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 largest = _mm_set1_ps(2047.0f);
    const __m128 step = _mm_set1_ps(stepReciprocal);
    const __m128i add = _mm_set1_epi32(offset);
    uint64_t nonZero = 0;
    for (int k = 0; k < 64; k += 8) {
        if ((groups >> (k / 16) & 1) == 0) continue;
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + k));
        const __m128i sign = _mm_srai_epi16(c, 15);
        // |c| <= 2048 fits 16 bits; widened with zeros.
        const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(c, sign), sign);
        const __m128i wide[2] = {_mm_unpacklo_epi16(magnitude, zero),
                                 _mm_unpackhi_epi16(magnitude, zero)};
        __m128i quotient[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i halfWeight =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(quantiser.halfWeight + k + 4 * h));
            const __m128i n = _mm_add_epi32(_mm_slli_epi32(wide[h], 4), halfWeight);
            const __m128 nf = _mm_add_ps(_mm_cvtepi32_ps(n), half);
            const __m128i v =
                _mm_cvttps_epi32(_mm_mul_ps(nf, _mm_loadu_ps(quantiser.reciprocal + k + 4 * h)));
            const __m128 m = _mm_add_ps(_mm_cvtepi32_ps(_mm_add_epi32(v, add)), half);
            // Limited while a float: the truncation of the smaller is the smaller truncation.
            quotient[h] = _mm_cvttps_epi32(_mm_min_ps(_mm_mul_ps(m, step), largest));
        }
        const __m128i l = _mm_packs_epi32(quotient[0], quotient[1]);
        const __m128i signed_ = _mm_sub_epi16(_mm_xor_si128(l, sign), sign);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(level + k), signed_);
        const __m128i isZero = _mm_cmpeq_epi16(l, zero);
        const uint32_t zeros =
            static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(isZero, isZero)));
        nonZero |= static_cast<uint64_t>(~zeros & 0xFFu) << k;
    }
    return nonZero;
}
#else
uint64_t QuantiseAcPortable(const ScanQuantiser& quantiser, float stepReciprocal, int32_t offset,
                            const int16_t* coefficients, int16_t* level, uint32_t groups) {
    uint64_t nonZero = 0;
    for (int k = 0; k < 64; ++k) {
        if ((groups >> (k / 16) & 1) == 0) continue;
        const int32_t c = coefficients[k];
        const int32_t magnitude = c < 0 ? -c : c;
        const float n = static_cast<float>(16 * magnitude + quantiser.halfWeight[k]) + 0.5f;
        const int32_t v = static_cast<int32_t>(n * quantiser.reciprocal[k]);
        const float f = (static_cast<float>(v + offset) + 0.5f) * stepReciprocal;
        const int32_t l = static_cast<int32_t>(f < 2047.0f ? f : 2047.0f);
        level[k] = static_cast<int16_t>(c < 0 ? -l : l);
        nonZero |= static_cast<uint64_t>(l != 0) << k;
    }
    return nonZero;
}
#endif

#if defined(__x86_64__) || defined(__i386__)
// Sixteen coefficients at a time, the same operations lane by lane.
__attribute__((target("avx2"))) uint64_t QuantiseAcAvx2(const ScanQuantiser& quantiser,
                                                        float stepReciprocal, int32_t offset,
                                                        const int16_t* coefficients, int16_t* level,
                                                        uint32_t groups) {
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256 largest = _mm256_set1_ps(2047.0f);
    const __m256 step = _mm256_set1_ps(stepReciprocal);
    const __m256i add = _mm256_set1_epi32(offset);
    uint64_t nonZero = 0;
    for (int k = 0; k < 64; k += 16) {
        if ((groups >> (k / 16) & 1) == 0) continue;
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(coefficients + k));
        const __m256i magnitude = _mm256_abs_epi16(c);
        const __m256i wide[2] = {_mm256_cvtepu16_epi32(_mm256_castsi256_si128(magnitude)),
                                 _mm256_cvtepu16_epi32(_mm256_extracti128_si256(magnitude, 1))};
        __m256i quotient[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i n = _mm256_add_epi32(_mm256_slli_epi32(wide[h], 4),
                                               _mm256_load_si256(reinterpret_cast<const __m256i*>(
                                                   quantiser.halfWeight + k + 8 * h)));
            const __m256 nf = _mm256_add_ps(_mm256_cvtepi32_ps(n), half);
            const __m256i v = _mm256_cvttps_epi32(
                _mm256_mul_ps(nf, _mm256_load_ps(quantiser.reciprocal + k + 8 * h)));
            const __m256 m = _mm256_add_ps(_mm256_cvtepi32_ps(_mm256_add_epi32(v, add)), half);
            quotient[h] = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_mul_ps(m, step), largest));
        }
        // The pack works within each half: the quarters go back in order.
        const __m256i l = _mm256_sign_epi16(
            _mm256_permute4x64_epi64(_mm256_packs_epi32(quotient[0], quotient[1]), 0xD8), c);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(level + k), l);
        const __m256i isZero = _mm256_cmpeq_epi16(l, _mm256_setzero_si256());
        const uint32_t zeros = static_cast<uint32_t>(_mm_movemask_epi8(
            _mm_packs_epi16(_mm256_castsi256_si128(isZero), _mm256_extracti128_si256(isZero, 1))));
        nonZero |= static_cast<uint64_t>(~zeros & 0xFFFFu) << k;
    }
    return nonZero;
}

// GCC's AVX-512 intrinsics start from deliberately undefined registers, which its warning on
// uninitialised values takes for a fault.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx512f"))) uint64_t QuantiseAcAvx512(const ScanQuantiser& quantiser,
                                                             float stepReciprocal, int32_t offset,
                                                             const int16_t* coefficients,
                                                             int16_t* level, uint32_t groups) {
    const __m512 half = _mm512_set1_ps(0.5f);
    const __m512 largest = _mm512_set1_ps(2047.0f);
    const __m512 step = _mm512_set1_ps(stepReciprocal);
    const __m512i add = _mm512_set1_epi32(offset);
    uint64_t nonZero = 0;
    for (int k = 0; k < 64; k += 16) {
        if ((groups >> (k / 16) & 1) == 0) continue;
        const __m512i c = _mm512_cvtepi16_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(coefficients + k)));
        const __m512i n = _mm512_add_epi32(_mm512_slli_epi32(_mm512_abs_epi32(c), 4),
                                           _mm512_load_si512(quantiser.halfWeight + k));
        const __m512 nf = _mm512_add_ps(_mm512_cvtepi32_ps(n), half);
        const __m512i v =
            _mm512_cvttps_epi32(_mm512_mul_ps(nf, _mm512_load_ps(quantiser.reciprocal + k)));
        const __m512 m = _mm512_add_ps(_mm512_cvtepi32_ps(_mm512_add_epi32(v, add)), half);
        __m512i l = _mm512_cvttps_epi32(_mm512_min_ps(_mm512_mul_ps(m, step), largest));
        l = _mm512_mask_sub_epi32(l, _mm512_cmplt_epi32_mask(c, _mm512_setzero_si512()),
                                  _mm512_setzero_si512(), l);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(level + k), _mm512_cvtepi32_epi16(l));
        nonZero |= static_cast<uint64_t>(_mm512_test_epi32_mask(l, l)) << k;
    }
    return nonZero;
}
#pragma GCC diagnostic pop
#endif

}  // namespace

void FetchMacroblock(const SamplePlanes& picture, int x, int y, int32_t* samples) {
    for (int b = 0; b < 4; ++b) {
        FetchBlock(picture.y, picture.width, x + kLumaBlockX[b], y + kLumaBlockY[b],
                   samples + 64 * b);
    }
    const int xc = (x - picture.codedX) / 2 + picture.codedX / 2;
    const int yc = (y - picture.codedY) / 2 + picture.codedY / 2;
    const int chromaStride = picture.width / 2;
    FetchBlock(picture.cb, chromaStride, xc, yc, samples + 64 * 4);
    FetchBlock(picture.cr, chromaStride, xc, yc, samples + 64 * 5);
}

void LoadMacroblock(const CoefficientStore& store, int32_t mb, int32_t* coefficients) {
    const int16_t* stored = MacroblockCoefficients(store, mb);
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        for (int k = 0; k < 64; ++k) {
            const ScanPosition p = kZigZagScan[k];
            coefficients[64 * b + p.column + 8 * p.row] = stored[64 * b + k];
        }
    }
}

uint64_t NonZeroLevelBits(const int16_t* level) {
    uint64_t bits = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (int g = 0; g < 4; ++g) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(level + 16 * g));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(level + 16 * g + 8));
        const __m128i zeros =
            _mm_packs_epi16(_mm_cmpeq_epi16(low, zero), _mm_cmpeq_epi16(high, zero));
        const uint32_t isZero = static_cast<uint32_t>(_mm_movemask_epi8(zeros));
        bits |= static_cast<uint64_t>(~isZero & 0xFFFFu) << (16 * g);
    }
#else
    for (int k = 0; k < 64; ++k) bits |= static_cast<uint64_t>(level[k] != 0) << k;
#endif
    return bits & ~uint64_t{1};
}

int32_t LargestAcMagnitude(const int16_t* block) {
#if defined(__SSE2__)
    const __m128i notDc = _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0);
    __m128i largest = _mm_setzero_si128();
    for (int k = 0; k < 64; k += 8) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + k));
        if (k == 0) x = _mm_and_si128(x, notDc);
        largest = _mm_max_epi16(largest, _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)));
    }
    largest = _mm_max_epi16(largest, _mm_srli_si128(largest, 8));
    largest = _mm_max_epi16(largest, _mm_srli_si128(largest, 4));
    largest = _mm_max_epi16(largest, _mm_srli_si128(largest, 2));
    return static_cast<int16_t>(_mm_cvtsi128_si32(largest));
#else
    int32_t largest = 0;
    for (int k = 1; k < 64; ++k) {
        const int32_t m = block[k] < 0 ? -block[k] : block[k];
        largest = m > largest ? m : largest;
    }
    return largest;
#endif
}

void PrepareScanQuantiser(const int32_t* matrix, ScanQuantiser* quantiser, DctVariant variant) {
    quantiser->quantiseAc = QuantiseAcPortable;
#if defined(__x86_64__) || defined(__i386__)
    if (variant == DctVariant::kAvx2 && DctVariantRuns(variant))
        quantiser->quantiseAc = QuantiseAcAvx2;
    if (variant == DctVariant::kAvx512 && DctVariantRuns(variant))
        quantiser->quantiseAc = QuantiseAcAvx512;
#endif
    for (int k = 0; k < 64; ++k) {
        const int32_t w = matrix[kZigZagScan[k].column + 8 * kZigZagScan[k].row];
        quantiser->halfWeight[k] = w / 2;
        quantiser->reciprocal[k] = 1.0f / static_cast<float>(w);
    }
}

uint64_t QuantiseAcLevels(const ScanQuantiser& quantiser, int q, const int16_t* coefficients,
                          int16_t* levels, uint32_t groups) {
    const float stepReciprocal = 1.0f / static_cast<float>(2 * q);
    return quantiser.quantiseAc(quantiser, stepReciprocal, (3 * q + 2) / 4, coefficients, levels,
                                groups) &
           ~uint64_t{1};
}

void QuantiseScanned(const ScanQuantiser& quantiser, int q, int dcPrecision,
                     const int16_t* coefficients, ScannedLevels* levels) {
    const float stepReciprocal = 1.0f / static_cast<float>(2 * q);
    const int32_t offset = (3 * q + 2) / 4;  // (3 x step + 4) / 8
    const int shift = dcPrecision == 1 || dcPrecision == 2 ? 3 - dcPrecision : 3;
    const int32_t limit = (2048 >> shift) - 1;
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        const int16_t* c = coefficients + 64 * b;
        int16_t* level = levels->level[b];
        const uint64_t nonZero =
            quantiser.quantiseAc(quantiser, stepReciprocal, offset, c, level, kAllLevelGroups);
        // The DC at intra_dc_precision, rounded with halves away from zero.
        const int32_t c0 = c[0];
        const int32_t magnitude = c0 < 0 ? -c0 : c0;
        int32_t dc = (magnitude + (1 << (shift - 1))) >> shift;
        dc = dc > limit ? limit : dc;
        level[0] = static_cast<int16_t>(c0 < 0 ? -dc : dc);
        levels->nonZero[b] = nonZero & ~uint64_t{1};
    }
}

void QuantiseIntraBlock(int q, int dcPrecision, const int32_t* coefficients, int32_t* levels) {
    ScanQuantiser quantiser;
    PrepareScanQuantiser(tIntraMatrix->weights, &quantiser);
    int16_t scanned[kMacroblockValues] = {};
    for (int k = 0; k < 64; ++k)
        scanned[k] =
            static_cast<int16_t>(coefficients[kZigZagScan[k].column + 8 * kZigZagScan[k].row]);
    ScannedLevels quantised;
    QuantiseScanned(quantiser, q, dcPrecision, scanned, &quantised);
    for (int k = 0; k < 64; ++k)
        levels[kZigZagScan[k].column + 8 * kZigZagScan[k].row] = quantised.level[0][k];
}
