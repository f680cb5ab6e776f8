// Text helpers shared by every layer: line iteration, field splitting and the
// locale-free fixed-decimal number text (point as decimal separator, no
// grouping). The quoted CSV fields of the quality and corrections files have
// their own splitter (quality::SplitCsvLine); the results file's rounding rules
// stay in output/number_text.h.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace treetri {

// Splits `text` at every `separator` (no quoting): n separators give n + 1
// fields, which keep their blanks. An empty separator gives the whole text.
std::vector<std::string> SplitAt(std::string_view text, std::string_view separator);

// Calls `f(line, number)` with each line of `text` (without its LF or CR LF)
// and its number counting from 1; a last line without its line end is
// visited, nothing after a final line end. `f` may also take a third
// argument, `bool ended`: false for a last line without its line end. When
// `f` returns bool, false stops the walk. Returns false when `f` stopped it.
template <class F>
bool ForEachLine(std::string_view text, F&& f) {
  size_t start = 0;
  int number = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const bool ended = end != std::string_view::npos;
    if (!ended) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    start = end + 1;
    ++number;
    if constexpr (std::is_invocable_v<F, std::string_view, int, bool>) {
      if constexpr (std::is_same_v<std::invoke_result_t<F, std::string_view, int, bool>, bool>) {
        if (!f(line, number, ended)) return false;
      } else {
        f(line, number, ended);
      }
    } else if constexpr (std::is_same_v<std::invoke_result_t<F, std::string_view, int>, bool>) {
      if (!f(line, number)) return false;
    } else {
      f(line, number);
    }
  }
  return true;
}

// Appends `v` with exactly `decimals` decimals, rounded from its exact binary
// value to nearest, ties to even; a value that rounds to zero is written
// without a minus sign. A value that is not finite appends nothing and gives
// false.
bool AppendFixedDecimals(std::string& out, double v, int decimals);

}  // namespace treetri
