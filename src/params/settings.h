// The job's encoder settings: their defaults and the values derived from them.
#ifndef PICTOR_PARAMS_SETTINGS_H
#define PICTOR_PARAMS_SETTINGS_H

#include <cstdint>

#include "params/settings_record.h"

extern thread_local EncoderSettings* tSettings;

// Every field with a default takes it; the others keep their last value.
void SetDefaultSettings();
// Derived values of the coded area and header size fields; 0, or -1 when the
// size cannot be expressed in the stream (reported, except a zero width).
int DeriveSettings();

// The largest picture that may be written, in bits.
constexpr int32_t kMaxPictureBits = 1800000;

#endif
