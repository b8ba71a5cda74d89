// The three picture coding passes sharing one macroblock loop.
#ifndef PICTOR_CODING_PASSES_H
#define PICTOR_CODING_PASSES_H

#include <cstdint>

#include "coding/quantise.h"
#include "control/rate_control.h"

int CodingPass1(int32_t* quantisers, int32_t* types, RateControlState* rateControl,
                CoefficientPlanes* planes);
int CodingPass2(int32_t* quantisers, int32_t* types, RateControlState* rateControl,
                CoefficientPlanes* planes);
int FinalCodingPass(int32_t* quantisers, int32_t* types, RateControlState* rateControl,
                    CoefficientPlanes* planes);

float Pass1Quantiser(const RateControlState* rateControl, int32_t bitsSoFar,
                     int32_t bitsPerMacroblock, int col, int row);
float FinalPassQuantiser(int32_t usedBits, int32_t allocatedBits, int col, int row);
// trunc(base + 0.5) limited to 1..Qmax.
int RoundQuantiser(float base);
// The final pass's quantiser moves at most one step per macroblock toward
// trunc(base) and stays within 1..31; `first` starts it at trunc(base).
int StepQuantiser(int32_t prevQ, float base, int first);

#endif
