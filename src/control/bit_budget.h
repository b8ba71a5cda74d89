// The bit-budget figures that the pre-analysis, the matrix search and the rate control share.
#ifndef PICTOR_CONTROL_BIT_BUDGET_H
#define PICTOR_CONTROL_BIT_BUDGET_H

#include <cstdint>

#include "coding/tables.h"

// Set aside for the slice header of every macroblock row, and for the picture's other headers.
constexpr int32_t kSliceRowBits = 40;
constexpr int32_t kPictureHeaderBits = 1392;
// What the headers take of a picture of `rows` macroblock rows.
[[nodiscard]] constexpr int32_t HeaderBits(int32_t rows) {
    return kSliceRowBits * rows + kPictureHeaderBits;
}

// A macroblock may overrun its limit by its slice header, which only the first of a row has.
constexpr int32_t kSliceHeaderAllowance = 38;

// The estimate's costs: an escaped pair, the end of a block (two bits, whichever table is in
// use), and the header of a macroblock.
constexpr int32_t kEscapeBits = kEscape.length + kEscapeRunBits + kEscapeLevelBits;
constexpr int32_t kEstimatedEndOfBlockBits = 2;
constexpr int32_t kEstimatedMacroblockHeaderBits = 1;

#endif
