// The element types a run leaves out of the model (--leave-out LIST), as an
// ANSYS user unselects them (ESEL,U,TYPE) before writing the model.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/element_types.h"

/// One item of the list: the local types `first` to `last`, or, when
/// `element` is not 0, every local type defined as that ANSYS element.
struct LeaveOutItem {
  std::int32_t first = 0;
  std::int32_t last = 0;
  std::int32_t element = 0;  // ANSYS element number of a named item
  std::string name;          // its name as the table spells it ("CONTA174")
};

/// The items of one or more lists, in the order given.
struct LeaveOutList {
  std::vector<LeaveOutItem> items;
  bool empty() const { return items.empty(); }
};

/// The outcome of parsing a list: the items, or why it is refused.
struct ParsedLeaveOut {
  LeaveOutList list;
  std::string error;  // empty: accepted
};

/// Parses `text`: items separated by commas, each a local type number (1 or
/// more, decimal digits), a range `a-b` of them (a <= b), or the name of an
/// element of the ANSYS table in any case. An empty item, a blank, or a word
/// the table does not know refuses the whole list.
ParsedLeaveOut ParseLeaveOut(std::string_view text);

/// The list as an option argument takes it: "3,5-7,CONTA174".
std::string LeaveOutText(const LeaveOutList& list);

/// The local types a list leaves out of one model.
class LeftOutTypes {
 public:
  bool empty() const { return ranges_.empty(); }
  /// Whether elements of local type `itype` are left out.
  bool Contains(std::int32_t itype) const;
  void Add(std::int32_t first, std::int32_t last) { ranges_.push_back({first, last}); }

 private:
  struct Range {
    std::int32_t first, last;
  };
  std::vector<Range> ranges_;
};

/// The local types of `types` that `list` names: numbers and ranges as they
/// are, names as every local type defined as that element. Returns the name
/// of an item that no local type has (the list is refused), or an empty
/// text.
std::string ResolveLeaveOut(const LeaveOutList& list, const ElementTypes& types,
                            LeftOutTypes& left_out);
