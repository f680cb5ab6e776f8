// Number-to-text and text-to-number helpers of the tools, independent of the
// locale (point as decimal separator, no grouping).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace treetri::tools {

// Exactly `decimals` decimals; a value that rounds to zero is written without
// a minus sign.
std::string Fixed(double v, int decimals);

// Removes blanks, tabs, CR and LF at both ends.
std::string_view Trim(std::string_view s);

// Splits a line at every comma (no quoting); fields keep their blanks.
std::vector<std::string_view> SplitAtCommas(std::string_view line);

// Calls `f` with each line (without its CR LF or LF) and its number,
// counting from 1.
template <class F>
void ForEachLine(const std::string& text, F f) {
  size_t start = 0;
  int number = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    f(line, ++number);
    start = end + 1;
  }
}

// Whole-field parsers on trimmed text; false when the text is not such a
// number.
bool ParseWhole(std::string_view text, long long& out);
bool ParseDouble(std::string_view text, double& out);

// A command-line whole number within lo..hi.
bool ParseWholeArgument(const char* text, long long lo, long long hi, long long& out);

}  // namespace treetri::tools
