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

/// The first `values.size()` values of a record of `width`-column fields
/// (8 to 10) of which some fill their columns, so that no blank parts them
/// from the field before and a free-form read would take two fields as one
/// value: each field blanks, an optional sign and one or more digits, its
/// value a signed 32-bit integer; the last field followed by a blank or the
/// record's end. False for any other record, and for one whose every field
/// begins with a blank (TakeColumnIntegers and the free-form read take it).
[[nodiscard]] bool TakeFilledColumnIntegers(std::string_view record, std::size_t width,
                                            std::span<std::int32_t> values);
