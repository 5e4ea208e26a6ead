// The rows of the model file's blocks, read by one set of rules wherever
// they are read: the translation's passes, the rebuilt models and the
// check. One integer rule (the free-form one), one rule for where a block
// ends, one column read of element rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "textio/column_integers.h"
#include "textio/free_form.h"
#include "textio/input_file.h"

/// What a record is to the node, element or component block it stands in.
enum class BlockRow : std::uint8_t {
  kRow,            // a row of the block: its first character a digit or a sign
  kEndTaken,       // the block's closing record ("-1" alone, or an "N," record): read
  kEndHandedBack,  // any other record (a blank one too): the block ends before it
};

/// The block-end rule: what `record` is to the block before it.
BlockRow KindOfBlockRow(std::string_view record);

/// The integers of one record by the free-form rule (blanks or commas
/// between them, a value with a point truncated toward zero), up to
/// `values.size()` of them, their number in `count`. A value that breaks
/// the rule gives the free-form read's failure (syntax or conversion).
[[nodiscard]] FreeFormStatus ReadIntegerRow(std::string_view record, std::span<std::int32_t> values,
                                            int& count);

/// Raises the diagnostic of a failed free-form read of records of `model`,
/// the last of them at byte `record_offset` when known (else -1).
[[noreturn]] void RaiseRowFailure(const InputFile& model, FreeFormStatus status,
                                  std::int64_t record_offset = -1);

/// The first `values.size()` values of an element row of `width`-column
/// fields, read by columns: the quick read of fields that each begin with a
/// blank, or the read of fields that fill their columns (a ten-digit number
/// in a ten-column field). False when neither applies; the free-form read
/// takes such a row. Only the values whose bit is set in `wanted` are
/// certain to be stored.
[[nodiscard]] inline bool TakeElementColumns(std::string_view record, std::size_t width,
                                             std::span<std::int32_t> values,
                                             std::uint32_t wanted = ~std::uint32_t{0}) {
  return TakeColumnIntegers(record, width, values, wanted) ||
         TakeFilledColumnIntegers(record, width, values);
}

/// Most values of the first row of an element: ten attributes, its number
/// and eight nodes.
inline constexpr int kElementRowValues = 19;

/// The values of an element's first row: by columns where TakeElementColumns
/// reads them, else by ReadIntegerRow.
[[nodiscard]] FreeFormStatus ReadElementRow(std::string_view record, std::size_t width,
                                            std::span<std::int32_t, kElementRowValues> values,
                                            int& count);

/// Format texts as a refusal lists them: "a, b or c".
std::string FormatList(std::span<const std::string_view> texts);
