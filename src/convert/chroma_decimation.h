// The vertical half-band filter that takes the converted chroma (half width, full height) to
// 4:2:0, one output row at a time.
#ifndef PICTOR_CONVERT_CHROMA_DECIMATION_H
#define PICTOR_CONVERT_CHROMA_DECIMATION_H

#include <cstdint>

// Taps of the filter, top row first; they sum to 256.
constexpr int32_t kDecimationTaps[8] = {-17, -2, 49, 98, 98, 49, -2, -17};

// Samples x0 .. x1 - 1 of one output row from the eight input rows under the taps:
// (128 + sum of tap x sample) / 256, limited to 0..255. AVX2 where the processor has it, the same
// integers either way.
void DecimateChromaRow(const uint8_t* const rows[8], uint8_t* out, int32_t x0, int32_t x1);
// The same one sample at a time, as the definition gives it.
void DecimateChromaRowPortable(const uint8_t* const rows[8], uint8_t* out, int32_t x0, int32_t x1);

#endif
