// The three picture coding passes over the stored coefficients: pass 1 follows the virtual
// buffer, pass 2 measures every macroblock at the mean quantiser, the final pass codes
// each within its allocation into the stream.
#ifndef PICTOR_CONTROL_PASSES_H
#define PICTOR_CONTROL_PASSES_H

#include <cstdint>

#include "coding/transform.h"
#include "control/rate_control.h"

// Each: 0, or -1 when the macroblock buffers cannot be allocated.
[[nodiscard]] int CodingPass1(int32_t* quantisers, int32_t* types, RateControlState* rateControl,
                              const CoefficientStore* store);
[[nodiscard]] int CodingPass2(int32_t* quantisers, int32_t* types, const CoefficientStore* store);
[[nodiscard]] int FinalCodingPass(int32_t* quantisers, int32_t* types,
                                  const CoefficientStore* store);

#endif
