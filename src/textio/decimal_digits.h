// Decimal digits as the number readers and writers share them: the test for
// a digit and the powers of ten that a 64-bit real holds exactly.
#pragma once

inline bool IsDigit(char c) { return static_cast<unsigned>(c - '0') <= 9; }

/// 10^0 to 10^22: every power of ten up to 10^22 is a 64-bit real exactly
/// (5^22 < 2^53), so one multiplication or division by it rounds once.
inline constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

/// The largest n with 10^n in kExactPowersOfTen.
inline constexpr int kLargestExactPowerOfTen = 22;
