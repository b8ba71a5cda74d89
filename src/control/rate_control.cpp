// Rate control: the virtual buffer of pass 1, the bit allocation of the final attempts, and the
// quantiser rules of the coding passes.
#include "control/rate_control.h"

#include <cmath>
#include <cstdint>

#include "control/bit_budget.h"
#include "params/settings.h"

MacroblockBits gMacroblockBits;

void ResetMacroblockBits() { gMacroblockBits = MacroblockBits{}; }

namespace {

// Truncation toward zero of a base quantiser, held within a range that leaves
// every comparison with 1..31 unchanged.
int32_t TruncatedBase(float base) {
    if (base >= 1000.0f) return 1000;
    if (base > -1000.0f) return static_cast<int32_t>(base);
    return -1000;
}

}  // namespace

void InitRateControl(RateControlState* state) {
    const EncoderSettings& s = gSettings;
    state->targetBits = s.Target;
    const int32_t r = (s.Target / s.FrameRate) / 2;
    // Target never reaches BUFFER, so k is 31 and the buffer starts half a picture full.
    const int32_t k = 31 - (s.Target / s.BUFFER) * 31;
    // 64-bit product: targets from memory may be far beyond what a job file allows.
    state->bufferFullness = static_cast<int32_t>(static_cast<int64_t>(r) * k / 31);
}

void AllocateBits(int attempt) {
    EncoderSettings& s = gSettings;
    const int32_t* difcnt = gMacroblockBits.difcnt;
    int32_t* alccnt = gMacroblockBits.alccnt;

    int32_t total = 0;
    for (int32_t i = 0; i < s.MBCount; ++i) total += difcnt[i];
    if (attempt != 0) {
        // Each retry takes attempt percent of the already lowered target.
        s.Target = static_cast<int32_t>(s.Target - static_cast<double>(s.Target) * attempt * 0.01);
    }
    // The headers' bits stay out of the share. Nothing measured (every difcnt 0) gives every
    // macroblock a share of 0.
    const double weight =
        total != 0 ? static_cast<double>(s.Target - HeaderBits(s.YMBlock)) / total : 0.0;
    for (int32_t i = 0; i < s.MBCount; ++i) {
        const double a = difcnt[i] * weight;
        if (a >= s.MaxMBBits) {
            alccnt[i] = s.MaxMBBits;
        } else if (a > -2147483648.0) {
            alccnt[i] = static_cast<int32_t>(a);
        } else {
            // Only an empty measurement (total 0) or an absurd budget gets here.
            alccnt[i] = a < 0.0 ? INT32_MIN : 0;
        }
    }
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

int FinalStartingQuantiser(FinalPassRate* rate, int col, int row) {
    const int32_t mb = row * gSettings.XMBlock + col;
    const float base = FinalPassQuantiser(rate->usedBits, rate->allocatedBits, col, row);
    rate->allocatedBits += gMacroblockBits.alccnt[mb];
    rate->prevQ = StepQuantiser(rate->prevQ, base, mb == 0);
    return RoundQuantiser(static_cast<float>(rate->prevQ));
}
