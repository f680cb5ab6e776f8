#include "output/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace treetri {

std::string IntegerText(std::int64_t v) { return std::to_string(v); }

std::string FixedText(double v, int decimals) {
  if (!std::isfinite(v)) return "-999";
  if (decimals < 0) decimals = 0;
  const bool negative = std::signbit(v) && v != 0.0;
  // The value as 15 significant decimal digits d0.d1...d14 times 10^exponent
  // (to_chars never depends on the locale).
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 14);
  std::string text(buf, res.ptr);
  const size_t e = text.find('e');
  std::string digits;
  for (size_t i = 0; i < e; ++i)
    if (text[i] != '.') digits += text[i];
  const int exponent = std::atoi(text.c_str() + e + 1);
  if (v == 0.0) {
    digits = std::string(15, '0');
  }

  // Digits of the result: integer part and `decimals` decimals, as one
  // string of `keep` digits whose last one is at 10^-decimals. Leading
  // positions before d0 are zeros.
  const int intDigits = exponent + 1;  // digits before the point (may be <= 0)
  const int keep = intDigits + decimals;
  std::string out;  // the kept digits, most significant first
  bool roundUp = false;
  if (keep <= 0) {
    // Everything is below half a unit of the last decimal, or exactly at
    // d0 when keep == 0.
    roundUp = keep == 0 && digits[0] >= '5';
    out = "";
  } else if (keep >= static_cast<int>(digits.size())) {
    out = digits + std::string(static_cast<size_t>(keep) - digits.size(), '0');
  } else {
    out = digits.substr(0, static_cast<size_t>(keep));
    roundUp = digits[static_cast<size_t>(keep)] >= '5';
  }
  // Pad to the full width of integer part and decimals.
  const int width = (intDigits > 0 ? intDigits : 0) + decimals;
  if (keep <= 0)
    out = std::string(static_cast<size_t>(width), '0');
  else if (static_cast<int>(out.size()) < width)
    out = std::string(static_cast<size_t>(width) - out.size(), '0') + out;
  if (roundUp) {  // half away from zero: add one unit of the last decimal
    int i = static_cast<int>(out.size()) - 1;
    while (i >= 0 && out[static_cast<size_t>(i)] == '9') out[static_cast<size_t>(i--)] = '0';
    if (i >= 0)
      ++out[static_cast<size_t>(i)];
    else
      out.insert(out.begin(), '1');
  }
  const size_t intLen = out.size() - static_cast<size_t>(decimals);
  std::string result = negative ? "-" : "";
  result += intLen == 0 ? std::string("0") : out.substr(0, intLen);
  if (decimals > 0) result += "." + out.substr(intLen);
  return result;
}

std::string FreeText(double v) {
  if (!std::isfinite(v)) return "-999";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  return std::string(buf, res.ptr);
}

std::string PrintedNumberText(std::int64_t v) {
  return (v < 0 ? std::string() : std::string(" ")) + std::to_string(v) + " ";
}

}  // namespace treetri
