#include "output/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace treetri {

std::string IntegerText(std::int64_t v) {
  std::string s;
  AppendInteger(s, v);
  return s;
}

void AppendInteger(std::string& out, std::int64_t v) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

std::string FixedText(double v, int decimals) {
  std::string s;
  AppendFixed(s, v, decimals);
  return s;
}

void AppendFixed(std::string& text, double v, int decimals) {
  if (!std::isfinite(v)) {
    text += kMissingText;
    return;
  }
  if (decimals < 0) decimals = 0;
  const bool negative = std::signbit(v) && v != 0.0;
  // The value as 15 significant decimal digits d0.d1...d14 times 10^exponent
  // (to_chars never depends on the locale): "d.dddddddddddddde+XX".
  char sci[32];
  const char* end =
      std::to_chars(sci, sci + sizeof sci, std::fabs(v), std::chars_format::scientific, 14).ptr;
  char digits[15];
  digits[0] = sci[0];
  std::memcpy(digits + 1, sci + 2, 14);
  int exponent = 0;
  for (const char* p = sci + 18; p < end; ++p) exponent = 10 * exponent + (*p - '0');
  if (sci[17] == '-') exponent = -exponent;

  // Digits of the result: integer part and `decimals` decimals, whose last
  // one is at 10^-decimals; positions before d0 are zeros, positions after
  // d14 too. The first slot of `out` takes a carry out of the rounding.
  const int intDigits = exponent + 1;  // digits before the point (may be <= 0)
  const int keep = intDigits + decimals;
  const int width = (intDigits > 0 ? intDigits : 0) + decimals;
  char out[340];
  char* first = out + 1;
  const int lead = width - (keep > 0 ? keep : 0);
  std::memset(first, '0', static_cast<size_t>(width));
  bool roundUp = false;
  if (keep <= 0) {
    roundUp = keep == 0 && digits[0] >= '5';
  } else {
    std::memcpy(first + lead, digits, static_cast<size_t>(keep < 15 ? keep : 15));
    roundUp = keep < 15 && digits[keep] >= '5';
  }
  int n = width;
  if (roundUp) {  // half away from zero: add one unit of the last decimal
    int i = n - 1;
    while (i >= 0 && first[i] == '9') first[i--] = '0';
    if (i >= 0) {
      ++first[i];
    } else {
      *--first = '1';
      ++n;
    }
  }
  const int intLen = n - decimals;
  if (negative) text += '-';
  if (intLen == 0)
    text += '0';
  else
    text.append(first, static_cast<size_t>(intLen));
  if (decimals > 0) {
    text += '.';
    text.append(first + intLen, static_cast<size_t>(decimals));
  }
}

std::string FreeText(double v) {
  std::string s;
  AppendFree(s, v);
  return s;
}

void AppendFree(std::string& out, double v) {
  if (!std::isfinite(v)) {
    out += kMissingText;
    return;
  }
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  out.append(buf, res.ptr);
}

std::string PrintedNumberText(std::int64_t v) {
  return (v < 0 ? std::string() : std::string(" ")) + std::to_string(v) + " ";
}

}  // namespace treetri
