#include "coding/passes.h"

#include <cmath>
#include <cstdio>

#include "api/registry.h"
#include "coding/bit_writer.h"
#include "coding/macroblock_coder.h"
#include "params/settings.h"

namespace {

constexpr int kLargestQuantiser = 31;
// A slice header precedes the first macroblock of a row and may overrun its limit.
constexpr int32_t kSliceHeaderBits = 38;

enum PassKind { kPass1, kPass2, kFinalPass };

struct MacroblockBuffers {
    int32_t* samples;
    int32_t* coefficients;
    int32_t* levels;
};

void FreeBuffers(MacroblockBuffers* b) {
    TrackedFree(b->samples);
    TrackedFree(b->coefficients);
    TrackedFree(b->levels);
    *b = MacroblockBuffers{};
}

int AllocateBuffers(MacroblockBuffers* b) {
    b->samples = static_cast<int32_t*>(TrackedAlloc(kMacroblockValues, sizeof(int32_t)));
    b->coefficients = static_cast<int32_t*>(TrackedAlloc(kMacroblockValues, sizeof(int32_t)));
    b->levels = static_cast<int32_t*>(TrackedAlloc(kMacroblockValues, sizeof(int32_t)));
    if (b->samples == nullptr || b->coefficients == nullptr || b->levels == nullptr) {
        FreeBuffers(b);
        return -1;
    }
    return 0;
}

// Running values of one pass.
struct PassState {
    // pass 1
    int32_t bitsPerMacroblock;
    int32_t bitsSoFar;
    int32_t quantiserSum;
    // final pass
    int32_t lastCount;
    int32_t usedBits;
    int32_t allocatedBits;
    int32_t prevQ;
    int32_t rowOverLimit;
    int32_t frameOverLimit;
};

int FinalStartingQuantiser(PassState* st, int col, int row, int mb) {
    const float base = FinalPassQuantiser(st->usedBits, st->allocatedBits, col, row);
    st->allocatedBits += gMacroblockBits.alccnt[mb];
    st->prevQ = StepQuantiser(st->prevQ, base, mb == 0);
    return RoundQuantiser(static_cast<float>(st->prevQ));
}

int RunPass(PassKind kind, int32_t* quantisers, int32_t* types, RateControlState* rateControl,
            CoefficientPlanes* planes) {
    const EncoderSettings& s = gSettings;
    MacroblockBuffers buf{};
    if (AllocateBuffers(&buf) != 0) return -1;

    PassState st{};
    if (kind == kPass1) st.bitsPerMacroblock = rateControl->targetBits / s.MBCount;
    if (kind == kFinalPass) st.lastCount = BitsWritten();

    int sliceStart = 0;
    int32_t sliceCount = 0;
    for (int row = 0; row < s.YMBlock; ++row) {
        st.rowOverLimit = 0;
        for (int col = 0; col < s.XMBlock; ++col) {
            const int mb = row * s.XMBlock + col;
            const int x = s.CodedXOffset + 16 * col;
            const int y = s.CodedYOffset + 16 * row;
            // The buffers need no clearing: the fetch or load and the quantiser
            // rewrite all 384 values of each before anything reads them.
            StartCodeList();
            if (mb % s.MBlockPerSlice == 0) {
                sliceStart = 1;
                sliceCount = 1;
            }

            int q = 1;
            if (kind == kPass1) {
                q = RoundQuantiser(
                    Pass1Quantiser(rateControl, st.bitsSoFar, st.bitsPerMacroblock, col, row));
            } else if (kind == kPass2) {
                q = s.IFixedQstep;
            } else {
                q = FinalStartingQuantiser(&st, col, row, mb);
            }

            const int32_t limit = s.MaxMBBits + (col == 0 ? kSliceHeaderBits : 0);
            int retry = 0;
            int32_t bits = 0;
            for (;;) {
                if (kind == kPass1) {
                    if (retry == 0) FetchMacroblock(x, y, buf.samples);
                    TransformAndQuantise(q, buf.samples, buf.coefficients, buf.levels);
                    StoreCoefficients(buf.coefficients, x, y, planes);
                } else {
                    LoadCoefficients(x, y, planes, buf.coefficients);
                    QuantiseMacroblock(q, buf.coefficients, buf.levels);
                }
                quantisers[mb] = q;
                types[mb] = (sliceStart == 0 && q != quantisers[mb - 1]) ? 2 : 1;
                EncodeMacroblock(row, col, buf.levels, quantisers, types, sliceStart, retry);
                bits = QueuedBits();
                if (kind == kPass2 || q >= kLargestQuantiser || bits <= limit) break;
                // Too large: drop this code and try one step coarser (pass 1 keeps its samples).
                StartCodeList();
                ++q;
                retry = 1;
            }

            if (kind == kPass1) {
                st.bitsSoFar += bits;
                st.quantiserSum += q;
            } else if (kind == kPass2) {
                gMacroblockBits.difcnt[mb] = bits;
            } else {
                FlushQueue();
                const int32_t now = BitsWritten();
                const int32_t mbBits = now - st.lastCount;
                st.lastCount = now;
                st.usedBits += mbBits;
                gMacroblockBits.rescnt[mb] = mbBits;
                if (bits > limit) ++st.rowOverLimit;
            }

            if (sliceCount == s.MBlockPerSlice) {
                if (kind == kPass1) {
                    // The final pass pads each slice to a byte boundary.
                    st.bitsSoFar = (st.bitsSoFar + 7) / 8 * 8;
                } else if (kind == kFinalPass) {
                    AlignToByte();
                    st.lastCount = BitsWritten();
                }
                std::fflush(stdout);
            }
            ++sliceCount;
            sliceStart = 0;
        }
        if (kind == kFinalPass && st.rowOverLimit != 0) {
            std::printf("\n\t WARNING: %d MB's generated over %d bits in the slice(%d)\n",
                        st.rowOverLimit, s.MaxMBBits, row);
            st.frameOverLimit += st.rowOverLimit;
        }
    }

    if (kind == kPass1) gSettings.IFixedQstep = st.quantiserSum / s.MBCount;
    if (kind == kFinalPass && st.frameOverLimit != 0) {
        std::printf("\n\t WARNING!!: %d MB's generated over %d bits in this frame\n",
                    st.frameOverLimit, s.MaxMBBits);
    }
    StartCodeList();
    FreeBuffers(&buf);
    return 0;
}

// Truncation toward zero of a base quantiser, held within a range that leaves
// every comparison with 1..31 unchanged.
int32_t TruncatedBase(float base) {
    if (base >= 1000.0f) return 1000;
    if (base > -1000.0f) return static_cast<int32_t>(base);
    return -1000;
}

}  // namespace

int CodingPass1(int32_t* quantisers, int32_t* types, RateControlState* rateControl,
                CoefficientPlanes* planes) {
    return RunPass(kPass1, quantisers, types, rateControl, planes);
}

int CodingPass2(int32_t* quantisers, int32_t* types, RateControlState* rateControl,
                CoefficientPlanes* planes) {
    return RunPass(kPass2, quantisers, types, rateControl, planes);
}

int FinalCodingPass(int32_t* quantisers, int32_t* types, RateControlState* rateControl,
                    CoefficientPlanes* planes) {
    return RunPass(kFinalPass, quantisers, types, rateControl, planes);
}

float Pass1Quantiser(const RateControlState* rateControl, int32_t bitsSoFar,
                     int32_t bitsPerMacroblock, int col, int row) {
    const EncoderSettings& s = gSettings;
    const int32_t mb = row * s.XMBlock + col;
    const int32_t fullness = rateControl->bufferFullness - mb * bitsPerMacroblock + bitsSoFar;
    const int32_t r = (s.Target / s.FrameRate) / 2;
    const double scaled = static_cast<double>(fullness) * 31.0;
    // A target below two pictures' worth of frame rate leaves no buffer: the
    // quotient is then infinite (or undefined for an empty buffer).
    if (r == 0)
        return static_cast<float>(scaled > 0.0 ? HUGE_VAL : (scaled < 0.0 ? -HUGE_VAL : NAN));
    return static_cast<float>(scaled / static_cast<double>(r));
}

float FinalPassQuantiser(int32_t usedBits, int32_t allocatedBits, int col, int row) {
    const EncoderSettings& s = gSettings;
    const int32_t mb = row * s.XMBlock + col;
    const int32_t remaining = (s.YMBlock - row) * s.XMBlock - col;
    const int32_t n = remaining < 100 ? remaining : 100;
    const int32_t numerator = gMacroblockBits.difcnt[mb] * s.IFixedQstep;
    double denominator =
        static_cast<double>(allocatedBits - usedBits) / n + gMacroblockBits.alccnt[mb];
    // Far over budget: the quantiser follows the macroblock's cost alone. An
    // exactly spent budget is treated the same way rather than dividing by zero.
    if (denominator <= 0.0) denominator = 10.0;
    return static_cast<float>(numerator / denominator);
}

int RoundQuantiser(float base) {
    const double v = static_cast<double>(base) + 0.5;
    if (v >= static_cast<double>(gSettings.Qmax)) return gSettings.Qmax;
    if (!(v >= 1.0)) return 1;  // also a base that is not a number
    int q = static_cast<int>(v);
    if (q > gSettings.Qmax) q = gSettings.Qmax;
    if (q < 1) q = 1;
    return q;
}

int StepQuantiser(int32_t prevQ, float base, int first) {
    const int32_t target = TruncatedBase(base);
    if (first) prevQ = target;
    const int32_t d = target - prevQ;
    if (d > 0) {
        ++prevQ;
    } else if (d < 0) {
        --prevQ;
    }
    if (prevQ < 1) prevQ = 1;
    if (prevQ > 31) prevQ = 31;
    return prevQ;
}
