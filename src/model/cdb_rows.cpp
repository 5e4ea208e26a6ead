#include "model/cdb_rows.h"

#include "textio/diagnostics.h"

namespace {

bool IsSeparator(char c) { return c == ' ' || c == ',' || c == '\t'; }

// Reads the free-form records of one row, and no other: a second record
// asked for is the row's end.
class OneRow {
 public:
  explicit OneRow(std::string_view record) : record_(record) {}
  bool operator()(std::string_view& record) {
    if (given_) return false;
    given_ = true;
    record = record_;
    return true;
  }

 private:
  std::string_view record_;
  bool given_ = false;
};

// The rest of a row after the comma that closes a value, if one does.
std::string_view AfterClosingComma(std::string_view rest) {
  std::size_t k = 0;
  while (k < rest.size() && (rest[k] == ' ' || rest[k] == '\t')) ++k;
  return k < rest.size() && rest[k] == ',' ? rest.substr(k + 1) : rest;
}

bool HoldsValue(std::string_view rest) {
  for (const char c : rest) {
    if (!IsSeparator(c)) return c != '/';
  }
  return false;
}

}  // namespace

BlockRow KindOfBlockRow(std::string_view record) {
  const std::size_t first = record.find_first_not_of(" \t");
  if (first == std::string_view::npos) return BlockRow::kEndHandedBack;
  const char c = record[first];
  if (c == '-' && record.substr(first, 2) == "-1" &&
      (first + 2 == record.size() || IsSeparator(record[first + 2]))) {
    return BlockRow::kEndTaken;
  }
  if (record.starts_with("N,")) return BlockRow::kEndTaken;
  return (c >= '0' && c <= '9') || c == '-' || c == '+' ? BlockRow::kRow : BlockRow::kEndHandedBack;
}

FreeFormStatus ReadIntegerRow(std::string_view record, std::span<std::int32_t> values, int& count) {
  count = 0;
  std::string_view rest = record;
  while (static_cast<std::size_t>(count) < values.size() && HoldsValue(rest)) {
    OneRow row(rest);
    FreeFormExtent extent;
    const FreeFormTarget target[] = {values[static_cast<std::size_t>(count)]};
    const FreeFormStatus status = ParseFreeForm(row, target, &extent);
    if (status != FreeFormStatus::kDone) return status;
    ++count;
    rest = AfterClosingComma(extent.rest);
  }
  return FreeFormStatus::kDone;
}

void RaiseRowFailure(const InputFile& model, FreeFormStatus status, std::int64_t record_offset) {
  if (status == FreeFormStatus::kEndOfFile) RaiseDiagnostic(kEndOfFile, model.unit(), model.path());
  const int number = status == FreeFormStatus::kSyntaxError ? kSyntaxError : kInputConversion;
  RaiseValueDiagnostic(number, model.unit(), model.path(), record_offset);
}

FreeFormStatus ReadElementRow(std::string_view record, std::size_t width,
                              std::span<std::int32_t, kElementRowValues> values, int& count) {
  // A row is its fields of the format's width, the last one right-aligned
  // to the row's end: nineteen of them for an element of eight nodes or more.
  const std::size_t end = record.find_last_not_of(' ') + 1;  // 0 for a blank row
  const std::size_t fields = width == 0 ? 0 : end / width;
  if (fields != 0 && end % width == 0 && fields <= values.size() &&
      TakeElementColumns(record, width, values.first(fields))) {
    count = static_cast<int>(fields);
    return FreeFormStatus::kDone;
  }
  return ReadIntegerRow(record, values, count);
}

std::string FormatList(std::span<const std::string_view> texts) {
  std::string list;
  for (std::size_t k = 0; k < texts.size(); ++k) {
    if (k > 0) list += k + 1 == texts.size() ? " or " : ", ";
    list += texts[k];
  }
  return list;
}
