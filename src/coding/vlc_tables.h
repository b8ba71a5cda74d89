// Variable-length code tables of ISO/IEC 13818-2 used by intra pictures.
#ifndef PICTOR_CODING_VLC_TABLES_H
#define PICTOR_CODING_VLC_TABLES_H

#include <cstdint>

struct VlcCode {
    uint16_t code;
    uint16_t length;
};

// dct_dc_size_luminance (Table B.12) and dct_dc_size_chrominance (B.13), by size 0..11.
extern const VlcCode kDcSizeLuma[12];
extern const VlcCode kDcSizeChroma[12];

// Table B.15 without end of block and escape: one entry per (run, level) and
// sign, the code's last bit being the sign. Ends with an entry of level
// kAcTableEnd that carries the end-of-block code 0110.
struct AcCode {
    uint16_t code;
    uint8_t length;    // sign bit included
    const char* text;  // the code as 0 and 1 characters
    int16_t run;
    int16_t level;  // signed
};
constexpr int kAcPairs = 111;
constexpr int16_t kAcTableEnd = 999;
extern const AcCode kAcTable[2 * kAcPairs + 1];

// Table B.15 holds runs 0..31 and magnitudes 1..40; every other pair escapes.
constexpr int kAcIndexRuns = 32;
constexpr int kAcIndexMagnitude = 40;
// Position in kAcTable by run and level + 40; -1 where the pair escapes.
struct AcIndex {
    int16_t entry[kAcIndexRuns][2 * kAcIndexMagnitude + 1];
};
const AcIndex& AcCodeIndex();
// The code of (run, level), or nullptr where the pair takes an escape.
inline const AcCode* FindAcCode(const AcIndex& index, int run, int32_t level) {
    if (run < 0 || run >= kAcIndexRuns || level < -kAcIndexMagnitude || level > kAcIndexMagnitude)
        return nullptr;
    const int i = index.entry[run][level + kAcIndexMagnitude];
    return i >= 0 ? &kAcTable[i] : nullptr;
}

// macroblock_type of intra pictures (Table B.2), by type 1 or 2 (index 0 unused).
extern const VlcCode kIntraMacroblockType[3];
// macroblock_address_increment of 1.
extern const VlcCode kAddressIncrementOne;

#endif
