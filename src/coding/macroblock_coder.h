// Intra macroblock entropy coding into the macroblock code list.
#ifndef PICTOR_CODING_MACROBLOCK_CODER_H
#define PICTOR_CODING_MACROBLOCK_CODER_H

#include <cstdint>

// Last DC level coded per component (Y, Cb, Cr), and the copy restored on retries.
struct RunningDc {
    int32_t value[3];
    int32_t saved[3];
};
extern RunningDc gRunningDc;
void ResetRunningDc();

// Queues the slice header when sliceStart is set, then the macroblock layer.
void EncodeMacroblock(int row, int col, const int32_t* levels, const int32_t* quantisers,
                      const int32_t* types, int sliceStart, int retry);
// Queues one block: DC differential, AC run/level codes, end of block.
void EncodeIntraBlock(int blockIndex, const int32_t* levels);

#endif
