// The AC code bits of a block counted from its levels, against a walk of the length table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "coding/code_lengths.h"
#include "coding/tables.h"

namespace {

// The levels in scan order, each coded with its run since the non-zero level before it (or the
// DC); magnitudes past the table's take its last column, which escapes.
int32_t WalkedBits(const int16_t* levels) {
    int32_t bits = 0;
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        if (levels[k] == 0) {
            ++run;
            continue;
        }
        const int m = std::abs(levels[k]);
        bits += kAcLengths.at[run][m < kLargestTabledMagnitude ? m : kLargestTabledMagnitude];
        run = 0;
    }
    return bits;
}

// Blocks of every kind the passes meet: none or all levels set, runs short and long (past the
// tables of short runs), magnitudes small, middling, past the tabled ones, of either sign, and a
// DC of any size, which never counts.
TEST(CodeLengths, EveryBlockCountsAsTheTableWalk) {
    struct Kind {
        int setOneIn;  // a level is set at about one index in this many
        int largest;   // magnitudes 1 .. largest
    };
    const Kind kinds[] = {{1, 1},  {1, 3},  {2, 4},   {3, 15},   {6, 16},
                          {12, 2}, {40, 3}, {64, 70}, {2, 2047}, {1, 40}};
    std::mt19937 r(17);
    for (const Kind& kind : kinds) {
        for (int trial = 0; trial < 400; ++trial) {
            int16_t levels[64] = {};
            uint64_t nonZero = 0;
            levels[0] = static_cast<int16_t>(r() % 4096 - 2048);
            for (int k = 1; k < 64; ++k) {
                if (r() % kind.setOneIn != 0) continue;
                const int m = 1 + static_cast<int>(r() % kind.largest);
                levels[k] = static_cast<int16_t>(r() % 2 ? m : -m);
                nonZero |= uint64_t{1} << k;
            }
            uint8_t magnitudes[64], portable[64];
            const int32_t bits = LevelCodeBits(levels, nonZero, magnitudes);
            ASSERT_EQ(bits, WalkedBits(levels)) << kind.setOneIn << " " << kind.largest;
            ASSERT_EQ(LevelCodeBitsPortable(levels, nonZero, portable), bits);
            ASSERT_EQ(std::memcmp(magnitudes, portable, 64), 0);
            ASSERT_EQ(magnitudes[0], 0);
            ASSERT_EQ(AcCodeBits(magnitudes, nonZero), bits);
            ASSERT_EQ(AcCodeBitsPortable(magnitudes, nonZero), bits);
        }
    }
}

}  // namespace
