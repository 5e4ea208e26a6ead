#include "textio/free_form.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstring>

#include "textio/diagnostics.h"
#include "textio/number_read.h"
#include "textio/number_write.h"

namespace {

// Character classes of free-form input, looked up once per character.
enum : std::uint8_t { kBlankClass = 1, kEndsValueClass = 2 };

constexpr std::array<std::uint8_t, 256> MakeCharClasses() {
  std::array<std::uint8_t, 256> classes{};
  for (char c : {' ', '\t', '\r', '\n'}) {
    classes[static_cast<unsigned char>(c)] = kBlankClass | kEndsValueClass;
  }
  for (char c : {',', '/', ')'}) classes[static_cast<unsigned char>(c)] = kEndsValueClass;
  return classes;
}

constexpr std::array<std::uint8_t, 256> kCharClasses = MakeCharClasses();

bool IsBlank(char c) { return kCharClasses[static_cast<unsigned char>(c)] & kBlankClass; }

bool EndsValue(char c) { return kCharClasses[static_cast<unsigned char>(c)] & kEndsValueClass; }

// The position of the first character from `pos` on that is no blank. Runs of
// plain blanks, the fill of fixed-width columns, are passed eight at a time.
std::size_t SkipBlanks(std::string_view record, std::size_t pos) {
  if constexpr (std::endian::native == std::endian::little) {
    while (pos + 8 <= record.size()) {
      std::uint64_t word;
      std::memcpy(&word, record.data() + pos, 8);
      word ^= 0x2020202020202020u;
      if (word != 0) {
        pos += static_cast<std::size_t>(std::countr_zero(word)) / 8;
        break;
      }
      pos += 8;
    }
  }
  while (pos < record.size() && IsBlank(record[pos])) ++pos;
  return pos;
}

// Reads sign and digits ending at a value's end straight from the record,
// the common case of element records. Leaves other values to the general
// path (false, `end` unchanged) and marks a plain integer outside the 32-bit
// range with `end` = npos.
[[nodiscard]] bool TakePlainInteger(std::string_view record, std::size_t& end,
                                    std::int32_t& value) {
  std::size_t i = end;
  const bool negative = record[i] == '-';
  if (record[i] == '+' || record[i] == '-') ++i;
  const std::size_t first_digit = i;
  std::int64_t magnitude = 0;
  for (; i < record.size(); ++i) {
    const unsigned digit = static_cast<unsigned>(record[i] - '0');
    if (digit > 9) break;
    // Saturates above the 32-bit range, which the check below rejects.
    if (magnitude <= std::int64_t{2147483648}) magnitude = magnitude * 10 + digit;
  }
  if (i == first_digit || (i < record.size() && !EndsValue(record[i]))) return false;
  if (negative) magnitude = -magnitude;
  if (magnitude < INT32_MIN || magnitude > INT32_MAX) {
    end = std::string_view::npos;
    return false;
  }
  value = static_cast<std::int32_t>(magnitude);
  end = i;
  return true;
}

FreeFormStatus ConvertValue(std::string_view text, const FreeFormTarget& target) {
  if (target.integer != nullptr && !text.empty()) {
    std::size_t end = 0;
    if (TakePlainInteger(text, end, *target.integer)) return FreeFormStatus::kDone;
    if (end == std::string_view::npos) return FreeFormStatus::kConversionError;
  }
  // A value needs a digit or one of the words: a sign alone is no value.
  if (text.empty() || ((text[0] == '+' || text[0] == '-') && text.size() == 1)) {
    return FreeFormStatus::kSyntaxError;
  }
  // The usual real, read straight from the text, is what the general
  // conversion gives it.
  if (target.real != nullptr && ReadUsualRealField(text, 0, *target.real)) {
    return FreeFormStatus::kDone;
  }
  double real;
  if (!ConvertRealText(text, 0, real)) return FreeFormStatus::kSyntaxError;
  if (target.real != nullptr) {
    *target.real = real;
    return FreeFormStatus::kDone;
  }
  bool has_point_or_letter = false;
  for (char c : text) {
    if (!IsDigit(c) && c != '+' && c != '-') has_point_or_letter = true;
  }
  // Digits with a sign after the first digit (5+3) are no integer.
  if (!has_point_or_letter) return FreeFormStatus::kConversionError;
  // A real value for an integer target is truncated toward zero.
  if (std::isnan(real) || real <= -2147483649.0 || real >= 2147483648.0) {
    *target.integer = INT32_MIN;
  } else {
    *target.integer = static_cast<std::int32_t>(real);
  }
  return FreeFormStatus::kDone;
}

// One free-form read as it moves through its records: where it stands in
// the current record, whether the last value still waits for its comma, and
// what is left of a repeated value ("r*value") to hand to the next targets.
class FreeFormReader {
 public:
  explicit FreeFormReader(NextRecordFunction next_record) : next_record_(next_record) {}

  // Takes the first record; false when the stream has none.
  bool Start() { return NextRecord(); }

  // Gives `target` its value: what is left of a repeat, the next value, or
  // nothing for a null value. After a slash the read is over and the target
  // keeps its value, as do all the targets after it.
  FreeFormStatus Fill(const FreeFormTarget& target) {
    if (repeat_left_ > 0) return UseRepeat(target);
    switch (FindValue()) {
      case Found::kValue:
        return TakeValue(target);
      case Found::kNullValue:
        return FreeFormStatus::kDone;
      case Found::kSlash:
        slash_seen_ = true;
        return FreeFormStatus::kDone;
      case Found::kEndOfFile:
        break;
    }
    return FreeFormStatus::kEndOfFile;
  }

  // True once a slash has ended the read.
  bool slash_seen() const { return slash_seen_; }

  // The records read so far.
  std::int32_t records_read() const { return records_read_; }

  // What is left of the current record; a slash that ended the read stays
  // at its start.
  void FillRest(FreeFormExtent& extent) const {
    extent.rest = std::string_view(record_.data() + pos_, record_.size() - pos_);
    extent.repeat_left = repeat_left_ > 0;
  }

 private:
  enum class Found { kValue, kNullValue, kSlash, kEndOfFile };

  bool NextRecord() {
    if (!next_record_(record_)) return false;
    pos_ = 0;
    ++records_read_;
    return true;
  }

  // Moves to the start of the next value, over blanks, record ends and the
  // comma that closes the value before. A comma with no value before it is a
  // null value; a slash ends the read (left in place).
  Found FindValue() {
    for (;;) {
      pos_ = SkipBlanks(record_, pos_);
      if (pos_ == record_.size()) {
        if (!NextRecord()) return Found::kEndOfFile;
        continue;
      }
      const char c = record_[pos_];
      if (c == ',') {
        ++pos_;
        if (!value_open_) return Found::kNullValue;
        value_open_ = false;
        continue;
      }
      return c == '/' ? Found::kSlash : Found::kValue;
    }
  }

  // Takes the value at `pos_` into `target`: a plain integer straight from
  // the record, anything else through its text up to the value's end.
  FreeFormStatus TakeValue(const FreeFormTarget& target) {
    value_open_ = true;
    if (target.integer != nullptr) {
      std::size_t end = pos_;
      if (TakePlainInteger(record_, end, *target.integer)) {
        pos_ = end;
        return FreeFormStatus::kDone;
      }
      if (end == std::string_view::npos) return FreeFormStatus::kConversionError;
    }
    std::size_t end = pos_;
    while (end < record_.size() && !EndsValue(record_[end])) ++end;
    const std::string_view text = record_.substr(pos_, end - pos_);
    pos_ = end;
    if (text.empty()) return FreeFormStatus::kSyntaxError;  // a stray ')'
    std::int64_t count = 0;
    std::string_view repeated;
    if (SplitRepeat(text, count, repeated)) return StartRepeat(count, repeated, target);
    return ConvertValue(text, target);
  }

  // "r*value" or "r*" (r null values): the count r and the text after the
  // star; false for a text without a leading count and star.
  static bool SplitRepeat(std::string_view text, std::int64_t& count, std::string_view& value) {
    std::size_t star = 0;
    while (star < text.size() && IsDigit(text[star])) ++star;
    if (star == 0 || star == text.size() || text[star] != '*') return false;
    constexpr std::int64_t kCountLimit = std::int64_t{1} << 40;  // more than any read takes
    count = 0;
    for (std::size_t k = 0; k < star; ++k)
      count = std::min(count * 10 + (text[k] - '0'), kCountLimit);
    value = text.substr(star + 1);
    return true;
  }

  // The first of `count` copies of `value` goes to `target`, the others to
  // the targets that follow.
  FreeFormStatus StartRepeat(std::int64_t count, std::string_view value,
                             const FreeFormTarget& target) {
    if (count == 0) return FreeFormStatus::kSyntaxError;
    repeat_left_ = count - 1;
    repeat_is_null_ = value.empty();
    if (repeat_is_null_) return FreeFormStatus::kDone;
    repeat_text_.assign(value);
    return ConvertValue(value, target);
  }

  FreeFormStatus UseRepeat(const FreeFormTarget& target) {
    --repeat_left_;
    return repeat_is_null_ ? FreeFormStatus::kDone : ConvertValue(repeat_text_, target);
  }

  NextRecordFunction next_record_;
  std::string_view record_;
  std::size_t pos_ = 0;
  bool value_open_ = false;  // a value was taken and no comma has closed it yet
  bool slash_seen_ = false;
  std::int64_t repeat_left_ = 0;
  bool repeat_is_null_ = false;
  std::string repeat_text_;  // copied: the record it came from may be gone
  std::int32_t records_read_ = 0;
};

}  // namespace

FreeFormStatus ParseFreeForm(NextRecordFunction next_record,
                             std::span<const FreeFormTarget> targets, FreeFormExtent* extent) {
  FreeFormReader reader(next_record);
  if (!reader.Start()) return FreeFormStatus::kEndOfFile;
  std::int32_t first_value_record = 1;  // where the first target found its value
  for (std::size_t k = 0; k < targets.size(); ++k) {
    const FreeFormStatus status = reader.Fill(targets[k]);
    if (status != FreeFormStatus::kDone) return status;
    if (reader.slash_seen()) break;  // the remaining targets keep their values
    if (k == 0) first_value_record = reader.records_read();
  }
  if (extent != nullptr) {
    // No record is read after the last value's: the values span from the
    // first value's record to the current one.
    extent->value_records = reader.records_read() - first_value_record + 1;
    reader.FillRest(*extent);
  }
  return FreeFormStatus::kDone;
}

bool FreeFormExtent::MoreValuesInRecord() const {
  std::size_t pos = 0;
  while (pos < rest.size() && (IsBlank(rest[pos]) || rest[pos] == ',')) ++pos;
  return repeat_left || (pos < rest.size() && rest[pos] != '/');
}

void ReadFreeForm(InputFile& file, std::initializer_list<FreeFormTarget> targets,
                  FreeFormExtent* extent) {
  ReadFreeForm(file, std::span<const FreeFormTarget>(targets.begin(), targets.size()), extent);
}

void ReadFreeForm(InputFile& file, std::span<const FreeFormTarget> targets,
                  FreeFormExtent* extent) {
  auto next_record = [&file](std::string_view& record) { return file.NextRecord(record); };
  FreeFormStatus status = ParseFreeForm(next_record, targets, extent);
  switch (status) {
    case FreeFormStatus::kDone:
      return;
    case FreeFormStatus::kEndOfFile:
      RaiseDiagnostic(kEndOfFile, file.unit(), file.path());
    case FreeFormStatus::kSyntaxError:
      RaiseValueDiagnostic(kSyntaxError, file.unit(), file.path(),
                           static_cast<std::int64_t>(file.record_offset()));
    case FreeFormStatus::kConversionError:
      RaiseValueDiagnostic(kInputConversion, file.unit(), file.path(),
                           static_cast<std::int64_t>(file.record_offset()));
  }
}

namespace {

// Lays out the records of one free-form write and hands each to `emit`.
template <class Emit>
void LayOutFreeForm(std::span<const FreeFormItem> items, Emit&& emit) {
  constexpr std::size_t kLine = kFreeFormLineLength;
  char record[kLine];
  std::size_t column = 0;
  bool record_start = true;
  bool previous_is_integer = false;
  auto write_record = [&] {
    emit(std::string_view(record, column));
    column = 0;
    previous_is_integer = false;
  };
  for (const FreeFormItem& item : items) {
    if (!item.is_text) {
      char field[kFreeFormIntegerWidth];
      [[maybe_unused]] const bool fits =
          FormatIntegerField(field, static_cast<int>(kFreeFormIntegerWidth), item.integer);
      assert(fits && "any 32-bit integer fits");
      if (kLine - column < kFreeFormIntegerWidth) {
        write_record();
        record_start = false;
      }
      std::memcpy(record + column, field, kFreeFormIntegerWidth);
      column += kFreeFormIntegerWidth;
      record_start = false;
      previous_is_integer = true;
      continue;
    }
    std::string_view text = item.text;
    const std::size_t space = kLine - column;
    if (record_start && text.size() <= space) {
      record[column++] = ' ';
      record_start = false;
    }
    if (previous_is_integer && column < kLine) record[column++] = ' ';
    if (text.size() > space && column > 0) {
      write_record();
      record[column++] = ' ';
      record_start = false;
    }
    for (;;) {
      std::size_t fit = std::min(text.size(), kLine - column);
      std::memcpy(record + column, text.data(), fit);
      column += fit;
      text.remove_prefix(fit);
      if (text.empty()) break;
      write_record();
      record[column++] = ' ';
    }
    record_start = false;
    previous_is_integer = false;
  }
  if (column == 0) record[column++] = ' ';
  emit(std::string_view(record, column));
}

}  // namespace

std::vector<std::string> FreeFormRecords(std::span<const FreeFormItem> items) {
  std::vector<std::string> records;
  LayOutFreeForm(items, [&](std::string_view record) { records.emplace_back(record); });
  return records;
}

void WriteFreeForm(OutputFile& file, std::initializer_list<FreeFormItem> items) {
  LayOutFreeForm(std::span<const FreeFormItem>(items.begin(), items.size()),
                 [&](std::string_view record) { file.WriteRecord(record); });
}
