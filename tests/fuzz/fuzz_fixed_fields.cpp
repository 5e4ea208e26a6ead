// The fixed-layout field readers on arbitrary fields and records. Besides the
// sanitizers, each read is checked against a rule it must keep: blanks inside
// a number field change nothing, a point makes the implied decimals idle, a
// record reads as if blank-padded and nothing after its layout is looked at.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "textio/fixed_layout.h"
#include "textio/number_read.h"

namespace {

// A read's outcome as bytes, so that outcomes compare exactly, NaNs included.
std::string Outcome(bool valid, const void* values, std::size_t size) {
  return valid ? std::string(static_cast<const char*>(values), size) : std::string("invalid");
}

std::string ReadNode(std::string_view record, Layout layout) {
  std::int32_t integers[3] = {};
  double reals[3] = {};
  const ReadItem items[] = {integers[0], integers[1], integers[2], reals[0], reals[1], reals[2]};
  const bool valid = ReadFixedFields(record, layout, items);
  return Outcome(valid, integers, sizeof(integers)) + Outcome(valid, reals, sizeof(reals));
}

std::string ReadReal(std::string_view field, int digits) {
  double value = 0;
  return Outcome(ParseRealField(field, digits, value), &value, sizeof(value));
}

std::string ReadInteger(std::string_view field) {
  std::int32_t value = 0;
  return Outcome(ParseIntegerField(field, value), &value, sizeof(value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int width = 1 + data[0] % 24;
  const int digits = data[0] % 16;
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  std::string blanked(text);
  blanked.insert(data[1] % (text.size() + 1), 1, ' ');

  if (ReadInteger(text) != ReadInteger(blanked)) std::abort();
  const std::string real = ReadReal(text, digits);
  if (real != ReadReal(blanked, digits)) std::abort();
  if (text.find('.') != std::string_view::npos && real != ReadReal(text, (digits + 7) % 16)) {
    std::abort();
  }

  std::size_t pos = data[1] / 32, start = pos;
  std::string_view field = TakeNumberField(text, pos, width);
  if (field.size() > static_cast<std::size_t>(width) || field.find(',') != std::string_view::npos)
    std::abort();
  if (pos - start < static_cast<std::size_t>(width) && text[pos - 1] != ',') std::abort();
  char item[24];
  pos = start;
  TakeTextField(text, pos, width, std::span<char>(item, 1 + data[1] % 24));

  static constexpr Layout kNodeLayouts[] = {kNodeRecordLayout1, kNodeRecordLayout2,
                                            kNodeRecordLayout3, kNodeRecordLayout4};
  const Layout layout = kNodeLayouts[data[0] / 64];
  const std::size_t length = LayoutLength(layout);
  std::string fitted(text.substr(0, length));
  fitted.resize(length, ' ');
  if (ReadNode(text, layout) != ReadNode(fitted, layout)) std::abort();
  return 0;
}
