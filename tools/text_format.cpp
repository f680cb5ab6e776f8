#include "tools/text_format.h"

#include <charconv>
#include <cmath>

#include "data/field_reader.h"

namespace treetri::tools {

std::string Fixed(double v, int decimals) {
  if (!std::isfinite(v)) return "-999";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return "-999";
  std::string s(buf, r.ptr);
  if (!s.empty() && s[0] == '-' && s.find_first_of("123456789") == std::string::npos)
    s.erase(0, 1);
  return s;
}

std::string_view Trim(std::string_view s) {
  const char* blanks = " \t\r\n";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

std::vector<std::string_view> SplitAtCommas(std::string_view line) {
  std::vector<std::string_view> out;
  size_t start = 0;
  for (;;) {
    size_t comma = line.find(',', start);
    if (comma == std::string_view::npos) {
      out.push_back(line.substr(start));
      return out;
    }
    out.push_back(line.substr(start, comma - start));
    start = comma + 1;
  }
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
