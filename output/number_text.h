// Number-to-text rules of the output files and the results list.
#pragma once

#include <cstdint>
#include <string>

namespace treetri {

// The text of a number that is missing or not finite.
inline constexpr const char* kMissingText = "-999";

// Plain decimal whole number ("17", "-3").
std::string IntegerText(std::int64_t v);

// Exactly `decimals` decimals (0 to 5; fewer are taken as 0, more as 5),
// at least one digit before the point, rounded half away from zero after
// conversion to 15 significant decimal digits. A value that is not finite
// is written "-999".
std::string FixedText(double v, int decimals);

// The same texts appended to `out`, without a string of their own (the
// writers build their lines in reused buffers).
void AppendInteger(std::string& out, std::int64_t v);
void AppendFixed(std::string& out, double v, int decimals);
void AppendFree(std::string& out, double v);

// The same texts written at `out`, which has room for kMaxFixedChars or
// kMaxFreeChars; they return the end of the text.
inline constexpr int kMaxFixedChars = 330;
inline constexpr int kMaxFreeChars = 32;
char* WriteFixed(char* out, double v, int decimals);
char* WriteFree(char* out, double v);

// Free format of the dump files: 15 significant digits without trailing
// zeros, exponent form below 1e-4 and from 1e15 on (printf's "%.15g" in the
// C locale).
std::string FreeText(double v);

// The words True and False.
inline const char* FlagText(bool b) { return b ? "True" : "False"; }

// A whole number as a printed number: a blank (or the minus sign) before
// the digits and a blank after them.
std::string PrintedNumberText(std::int64_t v);

}  // namespace treetri
