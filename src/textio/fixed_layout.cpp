// The record-level reads that interpret a layout field by field, and the
// cutting of a record into its fields.
#include "textio/fixed_layout.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "textio/diagnostics.h"
#include "textio/number_read.h"

std::string_view TakeNumberField(std::string_view record, std::size_t& pos, int width) {
  std::size_t w = static_cast<std::size_t>(width);
  if (pos >= record.size()) {
    pos += w;
    return {};
  }
  std::string_view field = record.substr(pos, w);  // missing columns read as blanks
  std::size_t comma = field.find(',');
  if (comma != std::string_view::npos) {
    pos += comma + 1;
    return field.substr(0, comma);
  }
  pos += w;
  return field;
}

void TakeTextField(std::string_view record, std::size_t& pos, int width, std::span<char> item) {
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t length = item.size();
  // w >= L keeps the last L characters of the field; w < L pads with blanks.
  const std::size_t first_column = pos + (w >= length ? w - length : 0);
  const std::size_t count = std::min(w, length);
  pos += w;
  std::size_t present = 0;  // characters the record holds; missing columns read as blanks
  if (first_column < record.size()) present = std::min(count, record.size() - first_column);
  if (present > 0) std::memcpy(item.data(), record.data() + first_column, present);
  std::memset(item.data() + present, ' ', length - present);
}

LineBufferView LeadingColumns(std::string_view record, std::size_t width) {
  return record.substr(0, std::min(width, record.size()));
}

LineBufferView ReadProbe(InputFile& file, Layout probe) {
  assert(!probe.empty() && probe[0].kind == FieldKind::kText);
  return LeadingColumns(file.ReadRecord(), static_cast<std::size_t>(probe[0].width));
}

bool TextIs(std::string_view text, std::string_view word) {
  const std::size_t common = std::min(text.size(), word.size());
  if (text.substr(0, common) != word.substr(0, common)) return false;
  std::string_view rest = text.size() > common ? text.substr(common) : word.substr(common);
  return rest.find_first_not_of(' ') == std::string_view::npos;
}

bool ReadFixedFields(std::string_view record, Layout layout, std::span<const ReadItem> items) {
  std::size_t pos = 0;
  std::size_t item = 0;
  for (const FieldSpec& field : layout) {
    for (int r = 0; r < field.repeat; ++r) {
      assert(item < items.size() && "a layout takes as many items as the read names");
      if (!fixed_layout_detail::ReadField(record, pos, field, items[item++])) return false;
    }
  }
  return true;
}

void ReadFixedRecord(InputFile& file, Layout layout, std::initializer_list<ReadItem> items) {
  std::string_view record = file.ReadRecord();
  // A record break splits the layout: each part reads a record of its own.
  std::size_t first_field = 0;
  std::size_t first_item = 0;
  for (std::size_t f = 0; f <= layout.size(); ++f) {
    if (f < layout.size() && layout[f].kind != FieldKind::kRecordBreak) continue;
    Layout part = layout.subspan(first_field, f - first_field);
    std::size_t item_count = 0;
    for (const FieldSpec& field : part) item_count += static_cast<std::size_t>(field.repeat);
    std::span<const ReadItem> part_items(items.begin() + first_item, item_count);
    if (!ReadFixedFields(record, part, part_items)) {
      RaiseValueDiagnostic(kInputConversion, file.unit(), file.path(),
                           static_cast<std::int64_t>(file.record_offset()));
    }
    first_item += item_count;
    first_field = f + 1;
    if (f < layout.size()) record = file.ReadRecord();
  }
}
