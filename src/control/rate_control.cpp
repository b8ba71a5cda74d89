// Rate control: the virtual buffer of pass 1, the bit allocation of the final attempts, and the
// quantiser rules of the coding passes.
//
// Stages: pass 1 takes each macroblock's quantiser from a virtual buffer that starts half a
// picture full and drains by an even share per macroblock, and its mean quantiser becomes the
// fixed quantiser of pass 2, which measures every macroblock's cost at it. Each final attempt
// shares the target (lowered by attempt percent on a retry) out in proportion to those costs;
// its quantiser follows the macroblock's cost over its share of what is left, moving at most
// one step per macroblock. Arithmetic that may leave the int32 range wraps as the named helpers
// of coding/int32_arith.h define.
#include "control/rate_control.h"

#include <cstdint>

#include "coding/int32_arith.h"
#include "control/bit_budget.h"
#include "params/settings.h"

thread_local MacroblockBits* tMacroblockBits = nullptr;

void ResetMacroblockBits() { *tMacroblockBits = MacroblockBits{}; }

void InitRateControl(RateControlState* state) {
    const EncoderSettings& s = *tSettings;
    state->targetBits = s.Target;
    const int32_t r = (s.Target / s.FrameRate) / 2;
    // Target never reaches BUFFER, so k is 31 and the buffer starts half a picture full.
    const int32_t k = 31 - (s.Target / s.BUFFER) * 31;
    // A negative target far from 0 raises k and the product leaves the int32 range.
    state->bufferFullness = WrapMul(r, k) / 31;
}

void AllocateBits(int attempt) {
    EncoderSettings& s = *tSettings;
    const int32_t* difcnt = tMacroblockBits->difcnt;
    int32_t* alccnt = tMacroblockBits->alccnt;

    int32_t total = 0;
    for (int32_t i = 0; i < s.MBCount; ++i) total += difcnt[i];
    if (attempt != 0) {
        // Each retry takes attempt percent of the already lowered target; from attempt 100 on
        // the factor is 0 or negative.
        s.Target = ToInt32Indefinite(s.Target - static_cast<double>(s.Target) * attempt * 0.01);
    }
    // The headers' bits stay out of the share. Nothing measured (every difcnt 0) divides by
    // zero: every share is then indefinite.
    const double weight = static_cast<double>(WrapSub(s.Target, HeaderBits(s.YMBlock))) / total;
    for (int32_t i = 0; i < s.MBCount; ++i) {
        const int32_t a = ToInt32Indefinite(difcnt[i] * weight);
        alccnt[i] = a < s.MaxMBBits ? a : s.MaxMBBits;
    }
}

float Pass1Quantiser(const RateControlState* rateControl, int32_t bitsSoFar,
                     int32_t bitsPerMacroblock, int col, int row) {
    const EncoderSettings& s = *tSettings;
    const int32_t mb = row * s.XMBlock + col;
    const int32_t fullness =
        WrapAdd(WrapSub(rateControl->bufferFullness, WrapMul(mb, bitsPerMacroblock)), bitsSoFar);
    const int32_t r = (s.Target / s.FrameRate) / 2;
    // A target below two pictures' worth of frame rate leaves no buffer: the quotient is then
    // an infinity, or NaN for an empty buffer.
    return static_cast<float>(static_cast<double>(fullness) * 31.0 / static_cast<double>(r));
}

float FinalPassQuantiser(int32_t usedBits, int32_t allocatedBits, int col, int row) {
    const EncoderSettings& s = *tSettings;
    const int32_t mb = row * s.XMBlock + col;
    const int32_t remaining = (s.YMBlock - row) * s.XMBlock - col;
    const int32_t n = remaining < 100 ? remaining : 100;
    const int32_t numerator = tMacroblockBits->difcnt[mb] * s.IFixedQstep;
    double denominator =
        static_cast<double>(WrapSub(allocatedBits, usedBits)) / n + tMacroblockBits->alccnt[mb];
    // Far over budget: the quantiser follows the macroblock's cost alone. An
    // exactly spent budget is treated the same way rather than dividing by zero.
    if (denominator <= 0.0) denominator = 10.0;
    return static_cast<float>(numerator / denominator);
}

int RoundQuantiser(float base) {
    // A base without an int32 truncation (NaN, an infinity, beyond 2^31) ends at 1.
    int32_t q = ToInt32Indefinite(static_cast<double>(base) + 0.5);
    if (q > tSettings->Qmax) q = tSettings->Qmax;
    if (q < 1) q = 1;
    return q;
}

int StepQuantiser(int32_t prevQ, float base, int first) {
    const int32_t target = ToInt32Indefinite(base);
    if (first) prevQ = target;
    // From an indefinite target the difference wraps to a positive one.
    const int32_t d = WrapSub(target, prevQ);
    if (d > 0) {
        ++prevQ;
    } else if (d < 0) {
        --prevQ;
    }
    if (prevQ < 1) prevQ = 1;
    if (prevQ > 31) prevQ = 31;
    return prevQ;
}

int FinalStartingQuantiser(FinalPassRate* rate, int col, int row) {
    const int32_t mb = row * tSettings->XMBlock + col;
    const float base = FinalPassQuantiser(rate->usedBits, rate->allocatedBits, col, row);
    rate->allocatedBits = WrapAdd(rate->allocatedBits, tMacroblockBits->alccnt[mb]);
    rate->prevQ = StepQuantiser(rate->prevQ, base, mb == 0);
    return RoundQuantiser(static_cast<float>(rate->prevQ));
}
