// 32-bit arithmetic of the rate figures where a value from the caller (a target, and every
// budget, buffer fullness and sum derived from it) may leave the int32 range: sums and products
// wrap in two's complement, and a floating-point value that has no int32 truncation converts to
// INT32_MIN, the "integer indefinite" of the x86 truncating conversions. In range, each is the
// plain operation.
#ifndef PICTOR_CODING_INT32_ARITH_H
#define PICTOR_CODING_INT32_ARITH_H

#include <cstdint>
#include <limits>

// Quotients of the rate figures divide by zero as IEEE arithmetic does, into an infinity or NaN
// that ToInt32Indefinite then takes.
static_assert(std::numeric_limits<double>::is_iec559, "IEEE double arithmetic");
static_assert(std::numeric_limits<float>::is_iec559, "IEEE single arithmetic");

[[nodiscard]] constexpr int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

[[nodiscard]] constexpr int32_t WrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

[[nodiscard]] constexpr int32_t WrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

constexpr int32_t kInt32Indefinite = INT32_MIN;

// Truncation toward zero; NaN, the infinities and values whose truncation lies outside the
// int32 range give kInt32Indefinite. A float argument widens to double exactly.
[[nodiscard]] constexpr int32_t ToInt32Indefinite(double v) {
    // Both bounds are exact doubles; NaN fails both comparisons.
    if (v > -2147483649.0 && v < 2147483648.0) return static_cast<int32_t>(v);
    return kInt32Indefinite;
}

#endif
