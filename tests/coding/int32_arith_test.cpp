// The 32-bit arithmetic of the rate figures at the edges of the int32 range: sums and products
// wrap in two's complement, and conversions without an int32 truncation give INT32_MIN. The
// figures of the lowest target, infinities and NaN are pinned through the rate control's rules.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>

#include "coding/int32_arith.h"

namespace {

// a + b, a - b and a x b of each pair.
struct WrapCase {
    const char* name;
    int32_t a, b, sum, difference, product;
};

void PrintTo(const WrapCase& c, std::ostream* os) { *os << c.name; }

class Wrapping : public ::testing::TestWithParam<WrapCase> {};

TEST_P(Wrapping, GivesTheLow32BitsInTwosComplement) {
    const WrapCase& c = GetParam();
    EXPECT_EQ(WrapAdd(c.a, c.b), c.sum);
    EXPECT_EQ(WrapSub(c.a, c.b), c.difference);
    EXPECT_EQ(WrapMul(c.a, c.b), c.product);
}

constexpr int32_t kMax = INT32_MAX, kMin = INT32_MIN;

INSTANTIATE_TEST_SUITE_P(
    Edges, Wrapping,
    ::testing::Values(WrapCase{"MaxAndOne", kMax, 1, kMin, kMax - 1, kMax},
                      WrapCase{"MaxAndMinusOne", kMax, -1, kMax - 1, kMin, -kMax},
                      WrapCase{"MinAndMinusOne", kMin, -1, kMax, -kMax, kMin},
                      WrapCase{"MinAndMin", kMin, kMin, 0, 0, 0},
                      WrapCase{"ZeroAndMin", 0, kMin, kMin, kMin, 0},
                      WrapCase{"ProductPastMax", 65536, 32768, 98304, 32768, kMin}),
    ::testing::PrintToStringParamName());

struct ConversionCase {
    const char* name;
    double value;
    int32_t expected;
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }

class Indefinite : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Indefinite, TruncatesInRangeElseGivesInt32Min) {
    EXPECT_EQ(ToInt32Indefinite(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, Indefinite,
    ::testing::Values(ConversionCase{"PositiveTruncates", 17.99, 17},
                      ConversionCase{"NegativeTruncatesTowardZero", -17.99, -17},
                      ConversionCase{"JustBelowTwoTo31", 2147483647.99, INT32_MAX},
                      ConversionCase{"TwoTo31", 2147483648.0, INT32_MIN},
                      ConversionCase{"MinusTwoTo31", -2147483648.0, INT32_MIN},
                      ConversionCase{"MinusTwoTo31AndAFraction", -2147483648.99, INT32_MIN},
                      ConversionCase{"SingleJustBelowTwoTo31", double{2147483520.0f}, 2147483520},
                      ConversionCase{"SingleTwoTo31", double{2147483648.0f}, INT32_MIN}),
    ::testing::PrintToStringParamName());

}  // namespace
