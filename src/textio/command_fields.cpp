#include "textio/command_fields.h"

namespace {

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string_view> CommandFields(std::string_view record) {
  std::vector<std::string_view> fields;
  for (std::size_t begin = 0;;) {
    const std::size_t comma = record.find(',', begin);
    if (comma == std::string_view::npos) {
      fields.push_back(record.substr(begin));
      return fields;
    }
    fields.push_back(record.substr(begin, comma - begin));
    begin = comma + 1;
  }
}

std::string_view FieldAt(const std::vector<std::string_view>& fields, std::size_t index) {
  return index < fields.size() ? fields[index] : std::string_view();
}

std::string_view CommandField(std::string_view record, std::size_t index) {
  std::size_t begin = 0;
  for (; index > 0; --index) {
    const std::size_t comma = record.find(',', begin);
    if (comma == std::string_view::npos) return {};
    begin = comma + 1;
  }
  return record.substr(begin, record.find(',', begin) - begin);
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlankOrTab(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrTab(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> BlankSeparatedItems(std::string_view record) {
  std::vector<std::string_view> items;
  std::size_t k = 0;
  while (k < record.size()) {
    while (k < record.size() && IsBlankOrTab(record[k])) ++k;
    const std::size_t begin = k;
    while (k < record.size() && !IsBlankOrTab(record[k])) ++k;
    if (k > begin) items.push_back(record.substr(begin, k - begin));
  }
  return items;
}
