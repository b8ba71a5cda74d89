// Intra macroblock entropy coding: counted, queued in the macroblock code list, or written.
#ifndef PICTOR_CODING_MACROBLOCK_CODER_H
#define PICTOR_CODING_MACROBLOCK_CODER_H

#include <cstdint>

#include "coding/quantise.h"

// Last DC level coded per component (Y, Cb, Cr), and the copy restored on retries.
struct RunningDc {
    int32_t value[3];
    int32_t saved[3];
};
extern thread_local RunningDc* tRunningDc;
void ResetRunningDc();

// What a macroblock attempt codes besides its levels.
struct MacroblockAttempt {
    int row;          // slice_vertical_position - 1 of a slice header
    int quantiser;    // quantiser_scale_code of a slice header or of a type-2 macroblock
    int type;         // 1 intra, 2 intra with quantiser_scale_code
    int sliceStart;   // the slice header goes first, and the DC values start again
    int retry;        // the DC values start from those the macroblock's first attempt found
    int dcPrecision;  // intra_dc_precision: where a slice starts the DC values again
    RunningDc* dc = tRunningDc;  // the running DC values it codes against and moves on
};
// The bits of the macroblock's code, as WriteMacroblock would write them; the running DC values
// move on as it would move them.
[[nodiscard]] int32_t CountMacroblockBits(const ScannedLevels& levels,
                                          const MacroblockAttempt& attempt);
// The same code through PutBits.
void WriteMacroblock(const ScannedLevels& levels, const MacroblockAttempt& attempt);

// Queues one block: DC differential, AC run/level codes, end of block.
void EncodeIntraBlock(int blockIndex, const int32_t* levels);

#endif
