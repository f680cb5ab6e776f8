// Number-to-text and text-to-number helpers of the tools, independent of the
// locale (point as decimal separator, no grouping).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace treetri::tools {

// Exactly `decimals` decimals (AppendFixedDecimals of platform/text.h); a
// value that is not finite is written "-999".
std::string Fixed(double v, int decimals);

// Removes blanks, tabs, CR and LF at both ends.
std::string_view Trim(std::string_view s);

// Lines and comma-separated fields: ForEachLine and SplitAt of
// platform/text.h.

// Whole-field parsers on trimmed text; false when the text is not such a
// number.
bool ParseWhole(std::string_view text, long long& out);
bool ParseDouble(std::string_view text, double& out);

// A command-line whole number within lo..hi.
bool ParseWholeArgument(const char* text, long long lo, long long hi, long long& out);

}  // namespace treetri::tools
