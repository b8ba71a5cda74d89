// Forward 8x8 DCT.
#ifndef PICTOR_CODING_TRANSFORM_H
#define PICTOR_CODING_TRANSFORM_H

#include <cstdint>

// Clamps `block` to -256..255 in place, then out[8v + u] = F(u, v), rounded
// with halves away from zero and clamped to -2048..2047.
void ForwardDct(int32_t* block, int32_t* out);
// The same transform of the clamped samples (block is left as it is), before
// rounding: out[8v + u] = F(u, v).
void ForwardDctUnrounded(const int32_t* block, double* out);

#endif
