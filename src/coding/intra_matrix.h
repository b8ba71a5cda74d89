// Intra quantiser matrices, raster order (index = 8 x row + column).
#ifndef PICTOR_CODING_INTRA_MATRIX_H
#define PICTOR_CODING_INTRA_MATRIX_H

#include <cstdint>

// Default intra quantiser matrix of ISO/IEC 13818-2.
extern const int32_t kDefaultIntraMatrix[64];

// Working intra matrix: derived by the pre-analysis, carried in the sequence
// header, used by the quantiser. Entry 0 is 8 once the pre-analysis ends.
struct IntraMatrix {
    int32_t weights[64];
};
extern IntraMatrix gIntraMatrix;
void ResetIntraMatrix();

#endif
