// Free-form records: values separated by blanks or commas on input; texts
// and 12-column integers on output.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "textio/function_ref.h"
#include "textio/input_file.h"
#include "textio/output_file.h"

/// Most characters of a free-form output record.
inline constexpr std::size_t kFreeFormLineLength = 80;

/// Columns of an integer in a free-form write, right-aligned: any 32-bit
/// integer fits with its sign and a blank in front.
inline constexpr std::size_t kFreeFormIntegerWidth = 12;

/// A caller-owned value that a free-form read fills.
struct FreeFormTarget {
  FreeFormTarget(std::int32_t& value) : integer(&value) {}
  FreeFormTarget(double& value) : real(&value) {}
  std::int32_t* integer = nullptr;
  double* real = nullptr;
};

enum class FreeFormStatus {
  kDone,
  kEndOfFile,        // a record was needed and none was left
  kSyntaxError,      // a value breaks the value syntax
  kConversionError,  // an integer value out of range or malformed
};

/// Where a finished free-form read took its values from, for readers whose
/// records may run over into the next record.
struct FreeFormExtent {
  /// The records the values were taken from: from the record of the first
  /// value (or null value) to the read's last record, empty records between
  /// them included, those before the first value not.
  std::int32_t value_records = 0;
  /// The read's last record after the last value taken (from the slash on
  /// when a slash ended the read), valid until the next read of the stream.
  std::string_view rest;
  /// A repeat ("r*value") has copies left that no target took.
  bool repeat_left = false;

  /// The last record holds a further value, or a repeat has copies left; a
  /// slash ends the record for this.
  bool MoreValuesInRecord() const;
};

/// Supplies the next record, or false at the end of the stream.
using NextRecordFunction = FunctionRef<bool(std::string_view& record)>;

/// One free-form read from the records that `next_record` gives: starts with
/// the next record and ends with the last record it needed. A read that
/// fails leaves the targets before the failing value filled, and that target
/// and the ones after it as they were. A finished read fills `extent` when
/// one is given.
[[nodiscard]] FreeFormStatus ParseFreeForm(NextRecordFunction next_record,
                                           std::span<const FreeFormTarget> targets,
                                           FreeFormExtent* extent = nullptr);

/// One free-form read from `file`; a failure raises 24, 59 or 64. A read
/// without targets consumes exactly one record.
void ReadFreeForm(InputFile& file, std::initializer_list<FreeFormTarget> targets,
                  FreeFormExtent* extent = nullptr);
void ReadFreeForm(InputFile& file, std::span<const FreeFormTarget> targets,
                  FreeFormExtent* extent = nullptr);

/// One item of a free-form write: a text (trailing blanks included) or an
/// integer.
struct FreeFormItem {
  FreeFormItem(std::string_view value) : is_text(true), text(value) {}
  FreeFormItem(const char* value) : is_text(true), text(value) {}
  FreeFormItem(std::int32_t value) : is_text(false), integer(value) {}
  bool is_text;
  std::string_view text = {};
  std::int32_t integer = 0;
};

/// The records of one free-form write, without line ends.
std::vector<std::string> FreeFormRecords(std::span<const FreeFormItem> items);

/// One free-form write to `file`: one record, or more when the items do not
/// fit in 80 characters.
void WriteFreeForm(OutputFile& file, std::initializer_list<FreeFormItem> items);
