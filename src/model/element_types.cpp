#include "model/element_types.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "textio/command_fields.h"
#include "textio/number_read.h"

namespace {

using C = ElementClass;

constexpr std::int32_t kMesh200 = 200;

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

// An integer field (blanks around it allowed), or nothing.
std::optional<std::int32_t> IntegerField(std::string_view text) {
  text = Trimmed(text);
  std::int32_t value = 0;
  if (text.empty() || !ParseIntegerField(text, value)) return std::nullopt;
  return value;
}

}  // namespace

std::int32_t AnsysElementNumber(std::string_view name) {
  for (const AnsysElement& row : AnsysElements()) {
    if (SameIgnoringCase(row.name, name)) return row.number;
  }
  return 0;
}

ElementClass ClassOfElement(std::int32_t number, std::int32_t keyopt1) {
  const AnsysElement* row = FindAnsysElement(number);
  if (row == nullptr) return C::kUnknown;
  if (row->element_class != C::kMesh200) return row->element_class;
  if (keyopt1 >= 0 && keyopt1 <= 1) return C::kLine2D;
  if (keyopt1 >= 2 && keyopt1 <= 3) return C::kLine3D;
  if (keyopt1 >= 4 && keyopt1 <= 7) return C::kSurface;
  if (keyopt1 >= 8 && keyopt1 <= 11) return C::kVolume;
  return C::kUnknown;
}

std::string_view ClassPhrase(ElementClass element_class) {
  switch (element_class) {
    case C::kSurface:
      return "a surface element";
    case C::kVolume:
      return "a volume element";
    case C::kPlane:
      return "a 2-D element";
    case C::kLine2D:
    case C::kLine3D:
      return "a line element";
    case C::kPoint:
      return "a point element";
    case C::kContact:
      return "a contact element";
    case C::kAxisymmetric:
      return "an axisymmetric element";
    case C::kSpecial:
      return "a special element";
    case C::kUnknown:
    case C::kMesh200:
      break;
  }
  return "an element of unknown kind";
}

std::string_view ClassCode(ElementClass element_class) {
  constexpr std::array<std::string_view, kElementClassCount> kCodes = {
      "?", "S3", "V", "P2", "L2", "L3", "PT", "CT", "GA", "O", "K1"};
  static_assert(kCodes.back() == "K1", "a code for every class, in the order of the classes");
  return kCodes[static_cast<std::size_t>(element_class)];
}

int VolumeCorners(std::int32_t number, std::int32_t keyopt1) {
  if (number == kMesh200) return keyopt1 == 8 || keyopt1 == 9 ? 4 : 8;
  const AnsysElement* row = FindAnsysElement(number);
  return row != nullptr && row->tetrahedron ? 4 : 8;
}

const LocalElementType* ElementTypes::FindSorted(std::int32_t itype) const {
  const auto found = std::lower_bound(
      types_.begin(), types_.end(), itype,
      [](const LocalElementType& type, std::int32_t wanted) { return type.itype < wanted; });
  return found != types_.end() && found->itype == itype ? &*found : nullptr;
}

LocalElementType& ElementTypes::Entry(std::int32_t itype) {
  auto found = std::lower_bound(
      types_.begin(), types_.end(), itype,
      [](const LocalElementType& type, std::int32_t wanted) { return type.itype < wanted; });
  if (found == types_.end() || found->itype != itype) {
    found = types_.insert(found, LocalElementType{});
    found->itype = itype;
    // The places after it moved: the index is made anew.
    position_.clear();
    for (std::size_t k = 0; k < types_.size(); ++k) {
      const std::int32_t at = types_[k].itype;
      if (at < 0 || at >= kDenseTypes) continue;
      if (position_.size() <= static_cast<std::size_t>(at)) {
        position_.resize(static_cast<std::size_t>(at) + 1, 0);
      }
      position_[static_cast<std::size_t>(at)] = static_cast<std::int32_t>(k + 1);
    }
    found = types_.begin() + (found - types_.begin());
  }
  return *found;
}

void ElementTypes::Define(std::int32_t itype, std::int32_t number, std::int32_t keyopt1,
                          std::string_view given_name) {
  LocalElementType& type = Entry(itype);
  type.number = number;
  type.keyopt1 = keyopt1;
  type.element_class = ClassOfElement(number, keyopt1);
  const AnsysElement* row = FindAnsysElement(number);
  if (row != nullptr) {
    type.name = row->name;
  } else if (!given_name.empty()) {
    type.name = given_name;
  } else {
    type.name = "element " + std::to_string(number);
  }
}

void ElementTypes::TakeBlockRow(std::string_view record) {
  const std::vector<std::string_view> items = BlankSeparatedItems(record);
  const std::optional<std::int32_t> itype = items.empty() ? std::nullopt : IntegerField(items[0]);
  if (!itype || *itype == -1) {
    state_ = State::kRecords;  // the row -1, or anything else, ends the block
    if (!itype) Take(record);
    return;
  }
  const std::optional<std::int32_t> number =
      items.size() > 1 ? IntegerField(items[1]) : std::nullopt;
  if (!number) return;
  const std::optional<std::int32_t> keyopt1 =
      items.size() > 2 ? IntegerField(items[2]) : std::nullopt;
  Define(*itype, *number, keyopt1.value_or(kNoKeyopt), {});
}

void ElementTypes::Take(std::string_view record) {
  switch (state_) {
    case State::kEnded:
      return;
    case State::kBlockFormat:
      state_ = State::kBlockRows;
      return;
    case State::kBlockRows:
      TakeBlockRow(record);
      return;
    case State::kRecords:
      break;
  }
  if (record.starts_with("EBLOCK") || record.starts_with("FINISH")) {
    state_ = State::kEnded;
  } else if (record.starts_with("ETBLOCK,")) {
    state_ = State::kBlockFormat;
  } else if (record.starts_with("ET,")) {
    const std::vector<std::string_view> fields = CommandFields(record);
    const std::optional<std::int32_t> itype =
        fields.size() > 1 ? IntegerField(fields[1]) : std::nullopt;
    if (!itype || fields.size() < 3) return;
    const std::string_view given = Trimmed(fields[2]);
    const std::optional<std::int32_t> number = IntegerField(given);
    const std::optional<std::int32_t> keyopt1 =
        fields.size() > 3 ? IntegerField(fields[3]) : std::nullopt;
    if (number) {
      Define(*itype, *number, keyopt1.value_or(kNoKeyopt), {});
    } else {
      Define(*itype, AnsysElementNumber(given), keyopt1.value_or(kNoKeyopt), given);
    }
  } else if (record.starts_with("KEYOP,") || record.starts_with("KEYOPT,")) {
    const std::vector<std::string_view> fields = CommandFields(record);
    if (fields.size() < 4) return;
    const std::optional<std::int32_t> itype = IntegerField(fields[1]);
    const std::optional<std::int32_t> knum = IntegerField(fields[2]);
    const std::optional<std::int32_t> value = IntegerField(fields[3]);
    if (!itype || !knum || !value || *knum != 1) return;
    LocalElementType& type = Entry(*itype);
    type.keyopt1 = *value;
    type.element_class = ClassOfElement(type.number, type.keyopt1);
  }
}
