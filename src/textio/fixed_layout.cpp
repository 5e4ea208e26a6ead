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

namespace {

// The usual integer field, of eight columns or more, all in the record:
// blanks, then one to eight digits in its last eight columns. Such a field
// holds no comma and reads as that number; advances `pos` past it. False,
// with nothing taken, for any other field.
[[gnu::always_inline]] inline bool TakeUsualIntegerField(std::string_view record,
                                                         std::size_t& pos, int width,
                                                         std::int32_t& value) {
  const std::size_t w = static_cast<std::size_t>(width);
  if (w < 8 || pos > record.size() || record.size() - pos < w) return false;
  const char* field = record.data() + pos;
  for (std::size_t k = 0; k + 8 < w; ++k) {
    if (field[k] != ' ') return false;
  }
  std::uint32_t digits;
  if (!TakeBlanksThenDigits(field + w - 8, digits)) return false;
  value = static_cast<std::int32_t>(digits);
  pos += w;
  return true;
}

}  // namespace

bool ReadFixedFields(std::string_view record, Layout layout, std::span<const ReadItem> items) {
  std::size_t pos = 0;
  std::size_t item = 0;
  for (const FieldSpec& field : layout) {
    for (int r = 0; r < field.repeat; ++r) {
      assert(item < items.size() && "a layout takes as many items as the read names");
      const ReadItem& target = items[item++];
      assert(target.kind == field.kind && "each item is of its field's kind");
      switch (field.kind) {
        case FieldKind::kText:
          TakeTextField(record, pos, field.width, target.text);
          break;
        case FieldKind::kInteger: {
          std::int32_t value;
          if (!TakeUsualIntegerField(record, pos, field.width, value) &&
              !ParseIntegerField(TakeNumberField(record, pos, field.width), value)) {
            return false;
          }
          *target.integer = value;
          break;
        }
        case FieldKind::kReal: {
          double value;
          // A usual number fills its columns without a comma; anything else
          // takes the general way, comma rule included.
          const std::size_t w = static_cast<std::size_t>(field.width);
          if (pos < record.size() &&
              ReadUsualRealField(record.substr(pos, w), field.digits, value)) {
            pos += w;
          } else if (!ParseRealField(TakeNumberField(record, pos, field.width), field.digits,
                                     value)) {
            return false;
          }
          *target.real = value;
          break;
        }
        default:
          assert(false && "input layouts hold only text, integer and real fields");
      }
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
      RaiseDiagnostic(kInputConversion, file.unit(), file.path());
    }
    first_item += item_count;
    first_field = f + 1;
    if (f < layout.size()) record = file.ReadRecord();
  }
}
