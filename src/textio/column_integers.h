// Integer fields of fixed width read eight digits at a time, as element
// blocks write them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

/// The narrowest and widest fields that TakeColumnIntegers reads.
inline constexpr std::size_t kNarrowestIntegerColumns = 8;
inline constexpr std::size_t kWidestIntegerColumns = 10;

/// The first `values.size()` values of a record that holds them in fields of
/// `width` columns (8 to 10), as element blocks write them: each field a
/// blank, then blanks and one to `width` - 1 digits, the last field followed
/// by a blank or the record's end. Such a record gives a free-form read
/// exactly these values; for any other record (or width) the answer is false
/// and `values` says nothing, and the record must be read the free-form way.
/// Every field is tested; only the values whose bit is set in `wanted` (bit
/// f for values[f], at most 32 of them) are converted and stored.
[[nodiscard]] bool TakeColumnIntegers(std::string_view record, std::size_t width,
                                      std::span<std::int32_t> values,
                                      std::uint32_t wanted = ~std::uint32_t{0});
