// The chroma decimation row against the filter's definition: rows that drive the sum to either
// end of its range, every sample value under each tap, random rows, and every start and end of
// a row (the vector steps and the tail).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "convert/chroma_decimation.h"

namespace {

// (128 + sum of tap x sample) / 256, truncated, then limited to 0..255.
uint8_t Definition(const std::vector<std::vector<uint8_t>>& rows, int32_t x) {
    int32_t sum = 128;
    for (int t = 0; t < 8; ++t) sum += kDecimationTaps[t] * rows[t][x];
    const int32_t v = sum / 256;
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

struct RowsCase {
    const char* name;
    // Sample x of row t.
    uint8_t (*sample)(int t, int32_t x, std::mt19937& random);
};

void PrintTo(const RowsCase& c, std::ostream* os) { *os << c.name; }

const RowsCase kRowsCases[] = {
    // The negative taps at 255 and the rest at 0: the least sum; the reverse: the largest.
    {"LeastSums",
     [](int t, int32_t, std::mt19937&) -> uint8_t { return kDecimationTaps[t] < 0 ? 255 : 0; }},
    {"LargestSums",
     [](int t, int32_t, std::mt19937&) -> uint8_t { return kDecimationTaps[t] < 0 ? 0 : 255; }},
    // Every sample value at every tap, the others at a level that moves along the row.
    {"EveryValueAtEachTap",
     [](int t, int32_t x, std::mt19937&) -> uint8_t {
         return static_cast<uint8_t>(t == (x >> 8) % 8 ? x & 255 : (x * 7) & 255);
     }},
    {"Random", [](int, int32_t, std::mt19937& r) -> uint8_t { return static_cast<uint8_t>(r()); }},
    // Edges: a picture's sharpest steps between two rows.
    {"Steps", [](int t, int32_t x, std::mt19937&) -> uint8_t { return (t + x / 3) % 2 ? 255 : 0; }},
};

class DecimationRows : public ::testing::TestWithParam<RowsCase> {};

TEST_P(DecimationRows, EverySampleIsTheDefinitions) {
    constexpr int32_t kLength = 8 * 256 + 37;
    std::mt19937 random(3);
    std::vector<std::vector<uint8_t>> rows(8, std::vector<uint8_t>(kLength));
    for (int t = 0; t < 8; ++t)
        for (int32_t x = 0; x < kLength; ++x) rows[t][x] = GetParam().sample(t, x, random);
    const uint8_t* pointers[8];
    for (int t = 0; t < 8; ++t) pointers[t] = rows[t].data();
    for (const int32_t x0 : {0, 1, 15, 16, 17}) {
        for (const int32_t x1 : {x0, x0 + 15, x0 + 16, x0 + 33, kLength}) {
            std::vector<uint8_t> out(kLength, 7), portable(kLength, 7);
            DecimateChromaRow(pointers, out.data(), x0, x1);
            DecimateChromaRowPortable(pointers, portable.data(), x0, x1);
            for (int32_t x = 0; x < kLength; ++x) {
                const uint8_t expected = x >= x0 && x < x1 ? Definition(rows, x) : 7;
                ASSERT_EQ(out[x], expected) << x0 << ".." << x1 << " at " << x;
                ASSERT_EQ(portable[x], expected) << x0 << ".." << x1 << " at " << x;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, DecimationRows, ::testing::ValuesIn(kRowsCases),
                         [](const ::testing::TestParamInfo<RowsCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
