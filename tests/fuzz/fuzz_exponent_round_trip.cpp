// A finite double written in exponent form (E15.7, D24.15, D24.9) and read
// back by the real field reader. The text is the decimal v = 0.f x 10^e
// rounded to d digits, so |v - x| <= h = 10^(e-d) / 2; the reader returns the
// double y nearest to v, so |y - v| <= |x - v| <= h and |y - v| <= g/2, g
// being the larger gap between y and its neighbours (2^-1074 among the
// subnormals). Hence |y - x| <= h + min(h, g/2): within half a unit of the
// last written digit, widened only by the reader's own rounding. In the
// normal range y is also written as the same text again, since d <= 15
// digits keep doubles apart.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "textio/number_read.h"
#include "textio/number_write.h"

namespace {

struct ExponentLayout {
  int width;
  int digits;
  char letter;
};

constexpr ExponentLayout kLayouts[] = {{15, 7, 'E'}, {24, 15, 'D'}, {24, 9, 'D'}};

// The written exponent e: the digits after the sign that ends the field.
int WrittenExponent(std::string_view field) {
  std::size_t sign = field.find_last_of("+-");
  return std::atoi(std::string(field.substr(sign)).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  double x;
  std::memcpy(&x, data + 1, sizeof(x));
  if (!std::isfinite(x)) return 0;
  const ExponentLayout& layout = kLayouts[data[0] % 3];
  char text[24];
  if (!FormatExponentField(text, layout.width, layout.digits, layout.letter, x)) std::abort();
  const std::string_view field(text, static_cast<std::size_t>(layout.width));
  double y;
  if (!ParseRealField(field, layout.digits, y) || !std::isfinite(y)) std::abort();

  const int e = WrittenExponent(field);
  const long double half_unit = 0.5L * std::pow(10.0L, e - layout.digits);
  const double magnitude = std::fabs(y);
  const long double gap = std::nextafter(magnitude, HUGE_VAL) - magnitude;
  const long double distance = std::fabs(static_cast<long double>(y) - static_cast<long double>(x));
  // pow carries a relative error of a few units of long double's 64 bits.
  if (distance > (half_unit + std::fmin(half_unit, gap / 2)) * (1 + 1e-17L)) std::abort();

  if (std::fabs(x) >= DBL_MIN) {
    char again[24];
    FormatExponentField(again, layout.width, layout.digits, layout.letter, y);
    if (std::memcmp(text, again, sizeof(text[0]) * static_cast<std::size_t>(layout.width)) != 0)
      std::abort();
  }
  return 0;
}
