// The fields of a command record as ANSYS reads commands: separated by
// commas, blanks around a field not part of it.
#pragma once

#include <string_view>
#include <vector>

/// The comma-separated fields of `record`, blanks kept: "SFE, 4,1" gives
/// "SFE", " 4", "1". A record without a comma is one field.
std::vector<std::string_view> CommandFields(std::string_view record);

/// Field `index` (0 for the command word) of `fields`; empty when the record
/// has fewer.
std::string_view FieldAt(const std::vector<std::string_view>& fields, std::size_t index);

/// Field `index` of `record` as CommandFields splits it, found without
/// splitting the others; empty when the record has fewer.
std::string_view CommandField(std::string_view record, std::size_t index);

/// `text` without the blanks and tabs before and after it.
std::string_view Trimmed(std::string_view text);

/// The items of `record` separated by blanks or tabs.
std::vector<std::string_view> BlankSeparatedItems(std::string_view record);
