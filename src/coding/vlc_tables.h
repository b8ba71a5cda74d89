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
    uint8_t length;      // sign bit included
    const char* text;    // the code as 0 and 1 characters
    int16_t run;
    int16_t level;       // signed
};
constexpr int kAcPairs = 111;
constexpr int16_t kAcTableEnd = 999;
extern const AcCode kAcTable[2 * kAcPairs + 1];

// macroblock_type of intra pictures (Table B.2), by type 1 or 2 (index 0 unused).
extern const VlcCode kIntraMacroblockType[3];
// macroblock_address_increment of 1.
extern const VlcCode kAddressIncrementOne;

#endif
