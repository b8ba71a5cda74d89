#include "control/rate_control.h"

MacroblockBits gMacroblockBits;

// Placeholders until rate control lands.
void InitRateControl(RateControlState*) {}
void AllocateBits(int) {}
