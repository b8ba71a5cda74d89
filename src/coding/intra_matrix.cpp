// Default intra quantiser matrix and the working matrix of the job.
#include "coding/intra_matrix.h"

const int32_t kDefaultIntraMatrix[64] = {
    8,  16, 19, 22, 26, 27, 29, 34, 16, 16, 22, 24, 27, 29, 34, 37, 19, 22, 26, 27, 29, 34,
    34, 38, 22, 22, 26, 27, 29, 34, 37, 40, 22, 26, 27, 29, 32, 35, 40, 48, 26, 27, 29, 32,
    35, 40, 48, 58, 26, 27, 29, 34, 38, 46, 56, 69, 27, 29, 35, 38, 46, 56, 69, 83,
};

IntraMatrix gIntraMatrix;

void ResetIntraMatrix() { gIntraMatrix = IntraMatrix{}; }
