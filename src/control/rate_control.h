// Rate control: the virtual buffer of pass 1, the bit allocation of the final attempts, and the
// quantiser rules of the coding passes.
#ifndef PICTOR_CONTROL_RATE_CONTROL_H
#define PICTOR_CONTROL_RATE_CONTROL_H

#include <cstdint>

struct RateControlState {
    int32_t bufferFullness;  // initial fullness of pass 1's virtual buffer, bits
    int32_t targetBits;      // Target when rate control was set up
};

// Per-macroblock bit counts, row-major, owned by the encoder driver.
struct MacroblockBits {
    int32_t* difcnt;  // pass-2 bits
    int32_t* alccnt;  // allocated bits
    int32_t* rescnt;  // final-pass bits
};
extern thread_local MacroblockBits* tMacroblockBits;
void ResetMacroblockBits();

void InitRateControl(RateControlState* state);
// Lowers Target on a retry (attempt > 0) and shares it out into alccnt.
void AllocateBits(int attempt);

// Pass 1: the quantiser (before rounding) that the virtual buffer's fullness asks for at
// macroblock (col, row), with bitsSoFar coded and bitsPerMacroblock its even share.
[[nodiscard]] float Pass1Quantiser(const RateControlState* rateControl, int32_t bitsSoFar,
                                   int32_t bitsPerMacroblock, int col, int row);
// Final pass: the macroblock's pass-2 cost over its share of what is left.
[[nodiscard]] float FinalPassQuantiser(int32_t usedBits, int32_t allocatedBits, int col, int row);
// trunc(base + 0.5) limited to 1..Qmax.
[[nodiscard]] int RoundQuantiser(float base);
// The final pass's quantiser moves at most one step per macroblock toward
// trunc(base) and stays within 1..31; `first` starts it at trunc(base).
[[nodiscard]] int StepQuantiser(int32_t prevQ, float base, int first);

// Running values of the final pass's quantiser rule.
struct FinalPassRate {
    int32_t usedBits;       // bits of the macroblocks coded so far
    int32_t allocatedBits;  // their allocations
    int32_t prevQ;          // the stepped quantiser of the macroblock before
};
// The quantiser a final-pass macroblock starts from; adds its allocation to the running sum.
[[nodiscard]] int FinalStartingQuantiser(FinalPassRate* rate, int col, int row);

#endif
