// Macroblock fetch, coefficient store and reload, and the intra quantiser.
#include "coding/quantise.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "coding/tables.h"
#include "coding/transform.h"
#include "params/settings.h"

IntraMatrix gIntraMatrix;

void ResetIntraMatrix() { gIntraMatrix = IntraMatrix{}; }

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
uint64_t QuantiseAc(const ScanQuantiser& quantiser, float stepReciprocal, int32_t offset,
                    const int16_t* coefficients, int16_t* level) {
    const __m128i zero = _mm_setzero_si128();
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 largest = _mm_set1_ps(2047.0f);
    const __m128 step = _mm_set1_ps(stepReciprocal);
    const __m128i add = _mm_set1_epi32(offset);
    uint64_t nonZero = 0;
    for (int k = 0; k < 64; k += 8) {
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
uint64_t QuantiseAc(const ScanQuantiser& quantiser, float stepReciprocal, int32_t offset,
                    const int16_t* coefficients, int16_t* level) {
    uint64_t nonZero = 0;
    for (int k = 0; k < 64; ++k) {
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

void TransformAndQuantise(int q, int32_t* samples, int32_t* coefficients, int32_t* levels) {
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        ForwardDct(samples + 64 * b, coefficients + 64 * b);
        QuantiseIntraBlock(q, coefficients + 64 * b, levels + 64 * b);
    }
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

void PrepareScanQuantiser(ScanQuantiser* quantiser) {
    for (int k = 0; k < 64; ++k) {
        const int32_t w = gIntraMatrix.weights[kZigZagScan[k].column + 8 * kZigZagScan[k].row];
        quantiser->halfWeight[k] = w / 2;
        quantiser->reciprocal[k] = 1.0f / static_cast<float>(w);
    }
}

void QuantiseScanned(const ScanQuantiser& quantiser, int q, const int16_t* coefficients,
                     ScannedLevels* levels) {
    const float stepReciprocal = 1.0f / static_cast<float>(2 * q);
    const int32_t offset = (3 * q + 2) / 4;  // (3 x step + 4) / 8
    const int precision = gSettings.IntraDCPrecision;
    const int shift = precision == 1 || precision == 2 ? 3 - precision : 3;
    const int32_t limit = (2048 >> shift) - 1;
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        const int16_t* c = coefficients + 64 * b;
        int16_t* level = levels->level[b];
        const uint64_t nonZero = QuantiseAc(quantiser, stepReciprocal, offset, c, level);
        // The DC at intra_dc_precision, rounded with halves away from zero.
        const int32_t c0 = c[0];
        const int32_t magnitude = c0 < 0 ? -c0 : c0;
        int32_t dc = (magnitude + (1 << (shift - 1))) >> shift;
        dc = dc > limit ? limit : dc;
        level[0] = static_cast<int16_t>(c0 < 0 ? -dc : dc);
        levels->nonZero[b] = nonZero & ~uint64_t{1};
    }
}

void QuantiseIntraBlock(int q, const int32_t* coefficients, int32_t* levels) {
    ScanQuantiser quantiser;
    PrepareScanQuantiser(&quantiser);
    int16_t scanned[kMacroblockValues] = {};
    for (int k = 0; k < 64; ++k)
        scanned[k] =
            static_cast<int16_t>(coefficients[kZigZagScan[k].column + 8 * kZigZagScan[k].row]);
    ScannedLevels quantised;
    QuantiseScanned(quantiser, q, scanned, &quantised);
    for (int k = 0; k < 64; ++k)
        levels[kZigZagScan[k].column + 8 * kZigZagScan[k].row] = quantised.level[0][k];
}
