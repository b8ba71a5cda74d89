// The 32-bit arithmetic of the rate figures at the edges of the int32 range: sums and products
// wrap in two's complement, and conversions without an int32 truncation give INT32_MIN.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>

#include "coding/int32_arith.h"

namespace {

enum class Op { kAdd, kSub, kMul };

struct WrapCase {
    const char* name;
    Op op;
    int32_t a, b, expected;
};

void PrintTo(const WrapCase& c, std::ostream* os) { *os << c.name; }

class Wrapping : public ::testing::TestWithParam<WrapCase> {};

TEST_P(Wrapping, GivesTheLow32BitsInTwosComplement) {
    const WrapCase& c = GetParam();
    int32_t got = 0;
    switch (c.op) {
        case Op::kAdd:
            got = WrapAdd(c.a, c.b);
            break;
        case Op::kSub:
            got = WrapSub(c.a, c.b);
            break;
        case Op::kMul:
            got = WrapMul(c.a, c.b);
            break;
    }
    EXPECT_EQ(got, c.expected);
}

// The budget of the lowest target less 30 rows of slice headers and the picture headers; the
// buffer start of that target at 25 pictures a second (r x k).
INSTANTIATE_TEST_SUITE_P(
    Edges, Wrapping,
    ::testing::Values(WrapCase{"AddInRange", Op::kAdd, 1800000, -2592, 1797408},
                      WrapCase{"AddPastMax", Op::kAdd, INT32_MAX, 1, INT32_MIN},
                      WrapCase{"AddPastMin", Op::kAdd, INT32_MIN, -1, INT32_MAX},
                      WrapCase{"AddMinToMin", Op::kAdd, INT32_MIN, INT32_MIN, 0},
                      WrapCase{"SubInRange", Op::kSub, 160000, 2592, 157408},
                      WrapCase{"SubHeadersFromMin", Op::kSub, INT32_MIN, 2592, 2147481056},
                      WrapCase{"SubPastMax", Op::kSub, INT32_MAX, -1, INT32_MIN},
                      WrapCase{"SubMinFromZero", Op::kSub, 0, INT32_MIN, INT32_MIN},
                      WrapCase{"SubMinFromOne", Op::kSub, 1, INT32_MIN, -INT32_MAX},
                      WrapCase{"MulInRange", Op::kMul, -46341, 46340, -2147441940},
                      WrapCase{"MulPastMax", Op::kMul, 65536, 32768, INT32_MIN},
                      WrapCase{"MulBufferStartOfMin", Op::kMul, -42949672, 36301, -42914824},
                      WrapCase{"MulMinByMinusOne", Op::kMul, INT32_MIN, -1, INT32_MIN}),
    [](const ::testing::TestParamInfo<WrapCase>& info) { return std::string(info.param.name); });

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

constexpr double kInfinity = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Edges, Indefinite,
    ::testing::Values(ConversionCase{"Zero", 0.0, 0}, ConversionCase{"MinusZero", -0.0, 0},
                      ConversionCase{"PositiveTruncates", 17.99, 17},
                      ConversionCase{"NegativeTruncatesTowardZero", -17.99, -17},
                      ConversionCase{"JustBelowTwoTo31", 2147483647.99, INT32_MAX},
                      ConversionCase{"TwoTo31", 2147483648.0, INT32_MIN},
                      ConversionCase{"MinusTwoTo31", -2147483648.0, INT32_MIN},
                      ConversionCase{"MinusTwoTo31AndAFraction", -2147483648.99, INT32_MIN},
                      ConversionCase{"MinusTwoTo31Less1", -2147483649.0, INT32_MIN},
                      ConversionCase{"Huge", 1e300, INT32_MIN},
                      ConversionCase{"HugeNegative", -1e300, INT32_MIN},
                      ConversionCase{"PlusInfinity", kInfinity, INT32_MIN},
                      ConversionCase{"MinusInfinity", -kInfinity, INT32_MIN},
                      ConversionCase{"NaN", std::nan(""), INT32_MIN},
                      ConversionCase{"SingleJustBelowTwoTo31", double{2147483520.0f}, 2147483520},
                      ConversionCase{"SingleTwoTo31", double{2147483648.0f}, INT32_MIN}),
    [](const ::testing::TestParamInfo<ConversionCase>& info) {
        return std::string(info.param.name);
    });

}  // namespace
