#include "tools/text_format.h"

#include <charconv>
#include <cmath>

#include "data/field_reader.h"

namespace treetri::tools {

std::string Fixed(double v, int decimals) {
  std::string s;
  if (!AppendFixedDecimals(s, v, decimals)) return "-999";
  return s;
}

std::string_view Trim(std::string_view s) {
  const char* blanks = " \t\r\n";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

bool ParseWhole(std::string_view text, long long& out) {
  std::int64_t v = 0;
  if (!ParseInt64(std::string(Trim(text)), v)) return false;
  out = v;
  return true;
}

bool ParseDouble(std::string_view text, double& out) {
  return ParseReal(std::string(Trim(text)), out);
}

bool ParseWholeArgument(const char* text, long long lo, long long hi, long long& out) {
  std::int64_t v = 0;
  if (!treetri::ParseInt64(text, v) || v < lo || v > hi) return false;
  out = v;
  return true;
}

}  // namespace treetri::tools
