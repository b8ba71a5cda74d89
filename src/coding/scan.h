// Zig-zag scan (scan 0 of ISO/IEC 13818-2).
#ifndef PICTOR_CODING_SCAN_H
#define PICTOR_CODING_SCAN_H

#include <cstdint>

struct ScanPosition {
    uint8_t column;
    uint8_t row;
};
// Entry k addresses matrix or block index column + 8 x row.
extern const ScanPosition kZigZagScan[64];

#endif
