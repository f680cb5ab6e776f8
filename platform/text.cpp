#include "platform/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace treetri {

std::vector<std::string> SplitAt(std::string_view text, std::string_view separator) {
  std::vector<std::string> out;
  if (separator.empty()) return {std::string(text)};
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      out.emplace_back(text.substr(start));
      return out;
    }
    out.emplace_back(text.substr(start, end - start));
    start = end + separator.size();
  }
}

bool AppendFixedDecimals(std::string& out, double v, int decimals) {
  if (!std::isfinite(v)) return false;
  decimals = std::clamp(decimals, 0, 30);
  // The largest double has 309 digits before the point.
  char buf[350];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  std::string_view text(buf, static_cast<size_t>(r.ptr - buf));
  if (!text.empty() && text.front() == '-' &&
      text.find_first_of("123456789") == std::string_view::npos)
    text.remove_prefix(1);
  out += text;
  return true;
}

}  // namespace treetri
