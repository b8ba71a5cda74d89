// Constant tables of ISO/IEC 13818-2 that intra pictures use, each laid out as the standard
// prints it: the zig-zag scan (Figure 7-2), the default intra matrix (7.3.11), the DC size
// codes (Tables B.12, B.13), the intra AC codes of intra_vlc_format 1 (Table B.15), the intra
// macroblock types (Table B.2) and intra_dc_mult (Table 7-4).
#ifndef PICTOR_CODING_TABLES_H
#define PICTOR_CODING_TABLES_H

#include <cstdint>

// Coefficient position (column u, row v); index column + 8 x row of a block or matrix.
struct ScanPosition {
    uint8_t column;
    uint8_t row;
};
// Positions by scan index 0..63.
struct ScanOrder {
    ScanPosition at[64];
    constexpr const ScanPosition& operator[](int k) const { return at[k]; }
};
extern const ScanOrder kZigZagScan;

// Raster order (index = 8 x row + column).
extern const int32_t kDefaultIntraMatrix[64];

struct VlcCode {
    uint16_t code;
    uint16_t length;
};

// dct_dc_size_luminance and dct_dc_size_chrominance, by size 0..11.
extern const VlcCode kDcSizeLuma[12];
extern const VlcCode kDcSizeChroma[12];

// End of block, and the escape that precedes a run of kEscapeRunBits and a level of
// kEscapeLevelBits (two's complement).
constexpr VlcCode kEndOfBlock = {0x06, 4};  // 0110
constexpr VlcCode kEscape = {0x01, 6};      // 000001
constexpr int kEscapeRunBits = 6;
constexpr int kEscapeLevelBits = 12;

// Table B.15 without end of block and escape: one entry per (run, level) and
// sign, the code's last bit being the sign. Ends with an entry of level
// kAcTableEnd that carries the end-of-block code.
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
extern const AcIndex kAcIndex;
// The code of (run, level), or nullptr where the pair takes an escape.
[[nodiscard]] inline const AcCode* FindAcCode(int run, int32_t level) {
    if (run < 0 || run >= kAcIndexRuns || level < -kAcIndexMagnitude || level > kAcIndexMagnitude)
        return nullptr;
    const int i = kAcIndex.entry[run][level + kAcIndexMagnitude];
    return i >= 0 ? &kAcTable[i] : nullptr;
}

// The same table by run 0..31 and magnitude 0..40: the code of the positive level, whose last
// bit (the sign) the negative level's code has set; length 0 where the pair takes an escape.
struct AcCodeByMagnitude {
    VlcCode at[kAcIndexRuns][kAcIndexMagnitude + 1];
};
extern const AcCodeByMagnitude kAcCodeByMagnitude;

// Length of the code of (run, magnitude) with its sign, for runs 0..63 and magnitudes 1..63, or
// of the escape (kEscape, then kEscapeRunBits and kEscapeLevelBits) where the table holds no
// code; magnitude 63 stands for every larger magnitude, which always escapes.
constexpr int kLargestTabledMagnitude = 63;
struct AcLengths {
    uint8_t at[64][kLargestTabledMagnitude + 1];
};
extern const AcLengths kAcLengths;

// Every (run, level) of a block as one code word, (code << 8) | length: the tabled code with its
// sign bit, or the escape (kEscape, the run, the level) where the table holds no code. By level
// + kAcWordLevels (|level| up to kAcWordLevels; every larger level escapes) and run 0..63.
constexpr int kAcWordLevels = kAcIndexMagnitude;
struct AcWords {
    uint32_t at[2 * kAcWordLevels + 1][64];
};
extern const AcWords kAcWords;
constexpr uint32_t kEscapeWordLength = kEscape.length + kEscapeRunBits + kEscapeLevelBits;
constexpr uint32_t EscapeWord(int run, int32_t level) {
    const uint32_t code = uint32_t{kEscape.code} << (kEscapeRunBits + kEscapeLevelBits) |
                          static_cast<uint32_t>(run) << kEscapeLevelBits |
                          (static_cast<uint32_t>(level) & ((1u << kEscapeLevelBits) - 1));
    return code << 8 | kEscapeWordLength;
}
// The word of (run 0..63, level -2047..2047 but 0).
[[nodiscard]] inline uint32_t AcWord(uint64_t run, int64_t level) {
    const uint64_t i = static_cast<uint64_t>(level + kAcWordLevels);
    if (__builtin_expect(i <= 2 * kAcWordLevels, 1)) return kAcWords.at[i][run];
    return EscapeWord(static_cast<int>(run), static_cast<int32_t>(level));
}

// macroblock_type of intra pictures, by type 1 (intra) or 2 (intra with
// quantiser_scale_code); index 0 unused.
extern const VlcCode kIntraMacroblockType[3];
// macroblock_address_increment of 1.
extern const VlcCode kAddressIncrementOne;

// The DC quantiser step by intra_dc_precision 0, 1, 2.
constexpr int32_t kIntraDcMult[3] = {8, 4, 2};

#endif
