#include "textio/free_form.h"

#include <array>
#include <bit>
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
bool TakePlainInteger(std::string_view record, std::size_t& end, std::int32_t& value) {
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

}  // namespace

FreeFormStatus ParseFreeForm(NextRecordFunction next_record, void* context,
                             std::span<const FreeFormTarget> targets) {
  std::string_view record;
  if (!next_record(context, record)) return FreeFormStatus::kEndOfFile;
  std::size_t pos = 0;
  bool value_open = false;  // a value was taken and no comma has closed it yet
  std::int64_t repeat_left = 0;
  bool repeat_is_null = false;
  std::string repeat_text;  // copied: the record it came from may be gone

  for (const FreeFormTarget& target : targets) {
    if (repeat_left > 0) {
      --repeat_left;
      if (!repeat_is_null) {
        FreeFormStatus status = ConvertValue(repeat_text, target);
        if (status != FreeFormStatus::kDone) return status;
      }
      continue;
    }
    for (;;) {
      pos = SkipBlanks(record, pos);
      if (pos == record.size()) {
        if (!next_record(context, record)) return FreeFormStatus::kEndOfFile;
        pos = 0;
        continue;
      }
      const char c = record[pos];
      if (c == ',') {
        ++pos;
        if (value_open) {
          value_open = false;
          continue;
        }
        break;  // a null value: the target keeps its value
      }
      if (c == '/') return FreeFormStatus::kDone;  // the rest keep their values
      if (target.integer != nullptr) {
        std::size_t end = pos;
        if (TakePlainInteger(record, end, *target.integer)) {
          pos = end;
          value_open = true;
          break;
        }
        if (end == std::string_view::npos) return FreeFormStatus::kConversionError;
      }
      std::size_t end = pos;
      while (end < record.size() && !EndsValue(record[end])) ++end;
      std::string_view text = record.substr(pos, end - pos);
      pos = end;
      value_open = true;
      if (text.empty()) return FreeFormStatus::kSyntaxError;  // a stray ')'
      std::size_t star = 0;
      while (star < text.size() && IsDigit(text[star])) ++star;
      if (star > 0 && star < text.size() && text[star] == '*') {
        std::int64_t count = 0;
        for (std::size_t k = 0; k < star; ++k) {
          count = count * 10 + (text[k] - '0');
          if (count > (std::int64_t{1} << 40)) count = std::int64_t{1} << 40;
        }
        if (count == 0) return FreeFormStatus::kSyntaxError;
        std::string_view value = text.substr(star + 1);
        repeat_left = count - 1;
        repeat_is_null = value.empty();
        if (!repeat_is_null) {
          repeat_text.assign(value);
          FreeFormStatus status = ConvertValue(value, target);
          if (status != FreeFormStatus::kDone) return status;
        }
        break;
      }
      FreeFormStatus status = ConvertValue(text, target);
      if (status != FreeFormStatus::kDone) return status;
      break;
    }
  }
  return FreeFormStatus::kDone;
}

namespace {

bool NextFileRecord(void* context, std::string_view& record) {
  return static_cast<InputFile*>(context)->NextRecord(record);
}

}  // namespace

void ReadFreeForm(InputFile& file, std::initializer_list<FreeFormTarget> targets) {
  FreeFormStatus status = ParseFreeForm(&NextFileRecord, &file,
                                        std::span<const FreeFormTarget>(targets.begin(), targets.size()));
  switch (status) {
    case FreeFormStatus::kDone:
      return;
    case FreeFormStatus::kEndOfFile:
      RaiseDiagnostic(kEndOfFile, file.unit(), file.path());
    case FreeFormStatus::kSyntaxError:
      RaiseDiagnostic(kSyntaxError, file.unit(), file.path());
    case FreeFormStatus::kConversionError:
      RaiseDiagnostic(kInputConversion, file.unit(), file.path());
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
      char field[12];
      FormatIntegerField(field, 12, item.integer);  // any 32-bit integer fits
      if (kLine - column < 12) {
        write_record();
        record_start = false;
      }
      std::memcpy(record + column, field, 12);
      column += 12;
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
