#pragma once

#include <cstdint>

// Signed 32-bit arithmetic that wraps modulo 2^32 as the hardware does,
// without the undefined behaviour of signed overflow in C++.

inline int addWrap(int a, int b)
{
    return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

inline int subWrap(int a, int b)
{
    return static_cast<int>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

inline int mulWrap(int a, int b)
{
    return static_cast<int>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// Truncating division; INT_MIN / -1 wraps to INT_MIN instead of trapping.
inline int divWrap(int a, int b)
{
    if (b == -1)
        return subWrap(0, a);
    return a / b;
}
