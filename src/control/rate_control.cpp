#include "control/rate_control.h"

#include <cstdint>

#include "params/settings.h"

MacroblockBits gMacroblockBits;

void ResetMacroblockBits() { gMacroblockBits = MacroblockBits{}; }

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
    // 40 bits per slice header row and 1392 for the picture headers stay out of the share.
    // Nothing measured (every difcnt 0) gives every macroblock a share of 0.
    const double weight =
        total != 0 ? static_cast<double>(s.Target - 40 * s.YMBlock - 1392) / total : 0.0;
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
