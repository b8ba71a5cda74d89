// The bits of a block's AC run/level codes, as the measuring passes and the pre-analysis count
// them: from each level's magnitude as the length table holds it.
#ifndef PICTOR_CODING_CODE_LENGTHS_H
#define PICTOR_CODING_CODE_LENGTHS_H

#include <cstdint>

// Sum of kAcLengths over the block's non-zero levels in scan order: `magnitudes` holds
// min(|level|, kLargestTabledMagnitude) by scan index (at least 1 where `nonZero` has its bit),
// `nonZero` the levels' bits, never bit 0 (the DC). The run of a level is its distance from the
// non-zero level before it, or from the DC.
[[nodiscard]] int32_t AcCodeBits(const uint8_t* magnitudes, uint64_t nonZero);

// The same from a block's 64 levels in scan order, whose tabled magnitudes go to `magnitudes`
// (64 of them, index 0 held at 0).
[[nodiscard]] int32_t LevelCodeBits(const int16_t* levels, uint64_t nonZero, uint8_t* magnitudes);

// AcCodeBits and LevelCodeBits one level at a time: what the fast paths are checked against.
[[nodiscard]] int32_t AcCodeBitsPortable(const uint8_t* magnitudes, uint64_t nonZero);
[[nodiscard]] int32_t LevelCodeBitsPortable(const int16_t* levels, uint64_t nonZero,
                                            uint8_t* magnitudes);

#endif
