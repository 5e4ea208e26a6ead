// Fixed layouts: the named layouts of every file, the record-level read that
// interprets them field by field, the record-level write that unrolls them
// when compiling, and the cutting of a record into fields. The number
// conversions of the fields are in number_read.h and number_write.h.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string_view>
#include <utility>

#include "textio/diagnostics.h"
#include "textio/input_file.h"
#include "textio/number_read.h"
#include "textio/number_write.h"
#include "textio/output_file.h"

enum class FieldKind : std::uint8_t {
  kText,         // Aw
  kInteger,      // Iw
  kReal,         // Ew.d or Dw.d (the letter is used on output only)
  kLiteral,      // "text", output only
  kSkip,         // TRn, output only
  kRecordBreak,  // /, input only
};

/// One field of a layout, `repeat` times in a row (3I8 is three I8 fields).
struct FieldSpec {
  FieldKind kind;
  int repeat = 1;
  int width = 0;
  int digits = 0;
  char exponent_letter = 'E';
  std::string_view literal = {};
};

using Layout = std::span<const FieldSpec>;

constexpr FieldSpec A(int width) { return {FieldKind::kText, 1, width}; }
constexpr FieldSpec I(int width, int repeat = 1) { return {FieldKind::kInteger, repeat, width}; }
constexpr FieldSpec E(int width, int digits, int repeat = 1) {
  return {FieldKind::kReal, repeat, width, digits, 'E'};
}
constexpr FieldSpec D(int width, int digits, int repeat = 1) {
  return {FieldKind::kReal, repeat, width, digits, 'D'};
}
constexpr FieldSpec TR(int columns) { return {FieldKind::kSkip, 1, columns}; }
constexpr FieldSpec Literal(std::string_view text) {
  return {FieldKind::kLiteral, 1, static_cast<int>(text.size()), 0, 'E', text};
}
constexpr FieldSpec RecordBreak() { return {FieldKind::kRecordBreak, 1, 0}; }

// The layouts of the system, by name.
inline constexpr FieldSpec kOffsetCountLayout[] = {A(12), I(9)};
inline constexpr FieldSpec kProbeWidth18[] = {A(18)};
inline constexpr FieldSpec kProbeWidth19[] = {A(19)};
inline constexpr FieldSpec kLoadCommandProbe[] = {A(4), A(15), A(4)};
inline constexpr FieldSpec kProbeWidth13[] = {A(13)};
inline constexpr FieldSpec kNodeRecordLayout1[] = {I(8, 3), E(16, 9, 3)};
inline constexpr FieldSpec kNodeRecordLayout2[] = {I(8, 3), E(20, 13, 3)};
inline constexpr FieldSpec kNodeRecordLayout3[] = {I(9, 3), E(20, 13, 3)};
inline constexpr FieldSpec kNodeRecordLayout4[] = {I(9, 3), E(21, 13, 3)};
inline constexpr FieldSpec kProbeWidth6[] = {A(6)};
inline constexpr FieldSpec kConstraintLayout[] = {A(2), A(7), A(6), A(16)};
inline constexpr FieldSpec kPressureLayout[] = {A(4), A(9), A(6), A(4)};
inline constexpr FieldSpec kRecordSkipLayout[] = {RecordBreak()};
inline constexpr FieldSpec kTitleLayout[] = {
    Literal(" A BEM Model for 3-D Structural Stress Analysis,"), TR(20), A(9)};
inline constexpr FieldSpec kSolverTypeLayout[] = {A(87)};
inline constexpr FieldSpec kCountLayout[] = {I(12, 2), A(59)};
inline constexpr FieldSpec kSolverNodeLayout[] = {I(8), D(24, 15, 3)};
inline constexpr FieldSpec kTriangleLayout[] = {I(10),   TR(3), I(8, 3),     TR(4),
                                                I(4, 3), TR(4), D(24, 15, 3)};
inline constexpr FieldSpec kSolverFieldPointLayout[] = {I(10), D(24, 9, 3)};
inline constexpr FieldSpec kPlotCoordinateLayout[] = {E(15, 7, 3)};
inline constexpr FieldSpec kPlotTriangleLayout[] = {I(15, 3)};
inline constexpr FieldSpec kPlotCellLayout[] = {I(15, 4)};

/// The 80-character text into which readers take the leading characters of
/// a record.
inline constexpr std::size_t kLineBufferLength = 80;

/// A view of LineBuffer as a probe fills it, without its blank padding: the
/// columns of the record that the probe's first text field covers. It points
/// into the record and is valid until the next record is read.
using LineBufferView = std::string_view;

/// Where a read puts one item: an integer, a real, or a text of fixed length.
struct ReadItem {
  ReadItem(std::int32_t& value) : kind(FieldKind::kInteger), integer(&value) {}
  ReadItem(double& value) : kind(FieldKind::kReal), real(&value) {}
  ReadItem(std::span<char> item) : kind(FieldKind::kText), text(item) {}
  FieldKind kind;
  std::int32_t* integer = nullptr;
  double* real = nullptr;
  std::span<char> text = {};
};

/// One value that a write puts in a field. The layout tells which member a
/// field reads; the value's kind is kept beside it in builds with
/// assertions, which check it against the field (a literal 0 given for a
/// real field would otherwise write the bits of an integer as a real).
class WriteItem {
 public:
  WriteItem(std::int32_t value) : integer_(value) { Tag(FieldKind::kInteger); }
  WriteItem(double value) : real_(value) { Tag(FieldKind::kReal); }
  WriteItem(std::string_view value)
      : text_(value.data()), text_length_(static_cast<std::uint32_t>(value.size())) {
    Tag(FieldKind::kText);
  }
  std::int32_t integer() const {
    assert(kind_ == FieldKind::kInteger && "an integer field takes an integer");
    return integer_;
  }
  double real() const {
    assert(kind_ == FieldKind::kReal && "a real field takes a real");
    return real_;
  }
  std::string_view text() const {
    assert(kind_ == FieldKind::kText && "a text field takes a text");
    return {text_, text_length_};
  }

 private:
#ifdef NDEBUG
  void Tag(FieldKind) {}
#else
  void Tag(FieldKind kind) { kind_ = kind; }
  FieldKind kind_;
#endif
  // Kept small: a record of ten values builds ten of these.
  union {
    std::int32_t integer_;
    double real_;
    const char* text_;
  };
  std::uint32_t text_length_ = 0;
};

/// True when every field of `layout` is a text field. A read through such a
/// layout cannot fail: only a number field can be invalid.
constexpr bool HoldsOnlyTextFields(Layout layout) {
  for (const FieldSpec& field : layout) {
    if (field.kind != FieldKind::kText) return false;
  }
  return true;
}

/// Reads the next record (more with record breaks) through `layout` into the
/// items, in order. End of file raises 24; a bad number field raises 64.
void ReadFixedRecord(InputFile& file, Layout layout, std::initializer_list<ReadItem> items);

/// Reads the fields of one record already in hand. Returns false when a
/// number field is invalid: the items of the fields before it are filled,
/// that item and the ones after it are left as they were. `layout` must hold
/// no record break.
[[nodiscard]] bool ReadFixedFields(std::string_view record, Layout layout,
                                   std::span<const ReadItem> items);

/// The text of a number field of `width` columns starting at `pos`: cut short
/// at a comma, after which the next field starts. Advances `pos`.
std::string_view TakeNumberField(std::string_view record, std::size_t& pos, int width);

/// Copies the `width`-column text field at `pos` into `item` by the text item
/// rule (blank-padded). Advances `pos` by `width`.
void TakeTextField(std::string_view record, std::size_t& pos, int width, std::span<char> item);

/// The characters of a layout's record.
constexpr std::size_t LayoutLength(Layout layout) {
  std::size_t length = 0;
  for (const FieldSpec& field : layout) {
    length += static_cast<std::size_t>(field.repeat) * static_cast<std::size_t>(field.width);
  }
  return length;
}

/// The values a record of `layout` takes: one per text, integer and real field.
constexpr std::size_t LayoutItemCount(Layout layout) {
  std::size_t count = 0;
  for (const FieldSpec& field : layout) {
    if (field.kind == FieldKind::kText || field.kind == FieldKind::kInteger ||
        field.kind == FieldKind::kReal) {
      count += static_cast<std::size_t>(field.repeat);
    }
  }
  return count;
}

namespace fixed_layout_detail {

// The usual integer field, of eight columns or more, all in the record:
// blanks, then one to eight digits in its last eight columns. Such a field
// holds no comma and reads as that number; advances `pos` past it. False,
// with nothing taken, for any other field.
[[gnu::always_inline]] inline bool TakeUsualIntegerField(std::string_view record, std::size_t& pos,
                                                         int width, std::int32_t& value) {
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

// One field of a read at `pos` into `target`; false when a number field is
// invalid, with `target` left as it was.
[[gnu::always_inline]] inline bool ReadField(std::string_view record, std::size_t& pos,
                                             const FieldSpec& field, const ReadItem& target) {
  assert(target.kind == field.kind && "each item is of its field's kind");
  switch (field.kind) {
    case FieldKind::kText:
      TakeTextField(record, pos, field.width, target.text);
      return true;
    case FieldKind::kInteger: {
      std::int32_t value;
      if (!TakeUsualIntegerField(record, pos, field.width, value) &&
          !ParseIntegerField(TakeNumberField(record, pos, field.width), value)) {
        return false;
      }
      *target.integer = value;
      return true;
    }
    case FieldKind::kReal: {
      double value;
      // A usual number fills its columns without a comma; anything else
      // takes the general way, comma rule included.
      const std::size_t w = static_cast<std::size_t>(field.width);
      if (pos < record.size() && ReadUsualRealField(record.substr(pos, w), field.digits, value)) {
        pos += w;
      } else if (!ParseRealField(TakeNumberField(record, pos, field.width), field.digits, value)) {
        return false;
      }
      *target.real = value;
      return true;
    }
    default:
      assert(false && "input layouts hold only text, integer and real fields");
      return true;
  }
}

// Field F of kLayout, all its repeats, from `pos`.
template <const auto& kLayout, std::size_t F>
[[gnu::always_inline]] inline bool ReadLayoutField(std::string_view record, std::size_t& pos,
                                                   const ReadItem* items, std::size_t& item) {
  constexpr FieldSpec kField = kLayout[F];
  static_assert(kField.kind != FieldKind::kRecordBreak, "one record, no record break");
#pragma GCC unroll 16
  for (int r = 0; r < kField.repeat; ++r) {
    if (!ReadField(record, pos, kField, items[item++])) return false;
  }
  return true;
}

template <const auto& kLayout, std::size_t... F>
[[gnu::always_inline]] inline bool ReadLayoutFields(std::string_view record, const ReadItem* items,
                                                    std::index_sequence<F...>) {
  std::size_t pos = 0;
  std::size_t item = 0;
  return (ReadLayoutField<kLayout, F>(record, pos, items, item) && ...);
}

}  // namespace fixed_layout_detail

/// ReadFixedFields for a layout known when compiling: the same reads, the
/// fields written out without interpreting the layout.
template <const auto& kLayout>
[[nodiscard]] inline bool ReadFixedFieldsOf(
    std::string_view record, std::span<const ReadItem, LayoutItemCount(kLayout)> items) {
  return fixed_layout_detail::ReadLayoutFields<kLayout>(
      record, items.data(), std::make_index_sequence<std::size(kLayout)>{});
}

namespace fixed_layout_detail {

// Field F of kLayout, all its repeats, into the blank columns at `out`.
template <const auto& kLayout, std::size_t F>
[[gnu::always_inline]] inline void PutLayoutField(char*& out, const WriteItem* items,
                                                  std::size_t& item, bool& fits) {
  constexpr FieldSpec kField = kLayout[F];
  constexpr std::size_t w = static_cast<std::size_t>(kField.width);
  // Unrolled, as the fields are: the repeats of a field are few and known.
#pragma GCC unroll 16
  for (int r = 0; r < kField.repeat; ++r) {
    if constexpr (kField.kind == FieldKind::kLiteral) {
      std::memcpy(out, kField.literal.data(), w);
    } else if constexpr (kField.kind == FieldKind::kText) {
      std::string_view text = items[item++].text();
      if (w >= text.size()) {
        std::memcpy(out + (w - text.size()), text.data(), text.size());
      } else {
        std::memcpy(out, text.data(), w);
      }
    } else if constexpr (kField.kind == FieldKind::kInteger) {
      fits &= PutInteger(out, w, items[item++].integer());
    } else if constexpr (kField.kind == FieldKind::kReal) {
      fits &= PutExponentOf<kField.digits>(out, w, kField.exponent_letter, items[item++].real());
    } else {
      static_assert(kField.kind == FieldKind::kSkip, "output layouts hold no record break");
    }
    out += w;
  }
}

// Every field of kLayout, one after another from `out`.
template <const auto& kLayout, std::size_t... F>
[[gnu::always_inline]] inline bool PutLayoutFields(char* out, const WriteItem* items,
                                                   std::index_sequence<F...>) {
  bool fits = true;
  std::size_t item = 0;
  (PutLayoutField<kLayout, F>(out, items, item, fits), ...);
  return fits;
}

}  // namespace fixed_layout_detail

/// Builds one record of `kLayout` (LayoutLength characters) into `out`, one
/// item per text, integer and real field; false when some field overflowed.
/// The layout is known when compiling, so its fields are written without
/// interpreting it.
template <const auto& kLayout>
[[nodiscard]] inline bool FormatFixedRecord(
    char* out, std::span<const WriteItem, LayoutItemCount(kLayout)> items) {
  std::memset(out, ' ', LayoutLength(kLayout));  // skipped columns and field fill
  return fixed_layout_detail::PutLayoutFields<kLayout>(
      out, items.data(), std::make_index_sequence<std::size(kLayout)>{});
}

/// Reserves a record of `length` characters in `file`, has `format(out)`
/// build it and writes it; an overflowed field (format returns false) is
/// reported after the record (63).
template <class Format>
void WriteFormattedRecord(OutputFile& file, std::size_t length, Format format) {
  char* out = file.ReserveRecord(length);
  const bool fits = format(out);
  file.CommitRecord(length);
  if (!fits) ReportOutputConversion(file.unit(), file.path());
}

/// Builds one record through `kLayout` and writes it. A value too wide for
/// its field is written as asterisks and reported after the record (63).
template <const auto& kLayout>
void WriteFixedRecord(OutputFile& file, const WriteItem (&items)[LayoutItemCount(kLayout)]) {
  WriteFormattedRecord(file, LayoutLength(kLayout),
                       [&](char* out) { return FormatFixedRecord<kLayout>(out, items); });
}

/// Reads the next record through a probe layout (text fields only) and
/// returns what its first field puts in LineBuffer. The other fields go to
/// texts nobody reads, so they are not copied. End of file raises 24.
LineBufferView ReadProbe(InputFile& file, Layout probe);

/// The first `width` columns of `record` as a probe of that width reads them.
LineBufferView LeadingColumns(std::string_view record, std::size_t width);

/// True when `text` and `word`, both blank-padded, are equal: how LineBuffer
/// and scratch texts are compared with a word.
bool TextIs(std::string_view text, std::string_view word);
