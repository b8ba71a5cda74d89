// Rate control: virtual buffer start, bit allocation and target reduction.
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
extern MacroblockBits gMacroblockBits;
void ResetMacroblockBits();

void InitRateControl(RateControlState* state);
// Lowers Target on a retry (attempt > 0) and shares it out into alccnt.
void AllocateBits(int attempt);

#endif
