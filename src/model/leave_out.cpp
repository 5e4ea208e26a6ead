#include "model/leave_out.h"

#include <algorithm>
#include <charconv>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A local type number: decimal digits, 1 to the largest int32.
bool TypeNumber(std::string_view text, std::int32_t& number) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit)) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc{} && end == text.data() + text.size() && number >= 1;
}

// One item, or why it is refused.
std::string ParseItem(std::string_view item, LeaveOutItem& out) {
  std::string quoted(1, '\'');
  quoted.append(item).push_back('\'');
  if (item.empty()) return "an item is empty";
  if (IsLetter(item[0])) {
    const bool word =
        std::all_of(item.begin(), item.end(), [](char c) { return IsLetter(c) || IsDigit(c); });
    out.element = word ? AnsysElementNumber(item) : 0;
    if (out.element == 0) return quoted + " is no ANSYS element name";
    out.name = FindAnsysElement(out.element)->name;
    return {};
  }
  const std::size_t dash = item.find('-');
  const std::string_view first = item.substr(0, dash);
  const std::string_view last = dash == std::string_view::npos ? first : item.substr(dash + 1);
  if (!TypeNumber(first, out.first) || !TypeNumber(last, out.last)) {
    return quoted + " is no local type number (1 or more), range a-b or ANSYS element name";
  }
  if (out.first > out.last) return quoted + " is a range from high to low";
  return {};
}

}  // namespace

ParsedLeaveOut ParseLeaveOut(std::string_view text) {
  ParsedLeaveOut parsed;
  for (std::size_t begin = 0;;) {
    const std::size_t comma = text.find(',', begin);
    const std::string_view item = text.substr(begin, comma - begin);
    LeaveOutItem out;
    parsed.error = ParseItem(item, out);
    if (!parsed.error.empty()) {
      parsed.list.items.clear();
      return parsed;
    }
    parsed.list.items.push_back(std::move(out));
    if (comma == std::string_view::npos) return parsed;
    begin = comma + 1;
  }
}

std::string LeaveOutText(const LeaveOutList& list) {
  std::string text;
  for (const LeaveOutItem& item : list.items) {
    if (!text.empty()) text += ',';
    if (item.element != 0) {
      text += item.name;
    } else {
      text += std::to_string(item.first);
      if (item.last != item.first) text.append("-").append(std::to_string(item.last));
    }
  }
  return text;
}

bool LeftOutTypes::Contains(std::int32_t itype) const {
  return std::any_of(ranges_.begin(), ranges_.end(),
                     [itype](const Range& r) { return itype >= r.first && itype <= r.last; });
}

std::string ResolveLeaveOut(const LeaveOutList& list, const ElementTypes& types,
                            LeftOutTypes& left_out) {
  for (const LeaveOutItem& item : list.items) {
    if (item.element == 0) {
      left_out.Add(item.first, item.last);
      continue;
    }
    bool found = false;
    for (const LocalElementType& type : types.types()) {
      if (type.number != item.element) continue;
      left_out.Add(type.itype, type.itype);
      found = true;
    }
    if (!found) return item.name;
  }
  return {};
}
