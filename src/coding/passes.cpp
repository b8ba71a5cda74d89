#include "coding/passes.h"

// Placeholders until the coding passes land.
int CodingPass1(int32_t*, int32_t*, RateControlState*, CoefficientPlanes*) { return -1; }
int CodingPass2(int32_t*, int32_t*, RateControlState*, CoefficientPlanes*) { return -1; }
int FinalCodingPass(int32_t*, int32_t*, RateControlState*, CoefficientPlanes*) { return -1; }
float Pass1Quantiser(const RateControlState*, int32_t, int32_t, int, int) { return 0.0f; }
float FinalPassQuantiser(int32_t, int32_t, int, int) { return 0.0f; }
int RoundQuantiser(float) { return 1; }
