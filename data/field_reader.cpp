#include "data/field_reader.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace treetri {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Shows the text found as it is, but keeps messages short and printable.
std::string Shown(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (out.size() >= 40) {
      out += "...";
      break;
    }
    if (c < 0x20 || c == 0x7f) {
      static const char* hex = "0123456789ABCDEF";
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// The power of ten of the first nonzero digit of a number text whose form has
// been checked (the mantissa begins at `start`), saturated far beyond the range
// of a double. Zero for a text without a nonzero digit.
long DecimalPower(const std::string& text, size_t start) {
  const long kSaturate = 1000000000L;
  size_t i = start, n = text.size();
  long power = 0;
  bool found = false;
  long intDigits = 0;  // integer digits from the first nonzero one
  while (i < n && IsDigit(text[i])) {
    if (found || text[i] != '0') {
      found = true;
      if (intDigits < kSaturate) ++intDigits;
    }
    ++i;
  }
  if (found) {
    power = intDigits - 1;
  }
  if (i < n && text[i] == '.') {
    ++i;
    long zeros = 0;
    while (i < n && IsDigit(text[i])) {
      if (!found) {
        if (text[i] != '0') {
          found = true;
          power = -(zeros + 1);
        } else if (zeros < kSaturate) {
          ++zeros;
        }
      }
      ++i;
    }
  }
  if (!found) return 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long exponent = 0;
    for (; i < n && IsDigit(text[i]); ++i)
      if (exponent < kSaturate) exponent = exponent * 10 + (text[i] - '0');
    power += negative ? -exponent : exponent;
  }
  return power;
}

}  // namespace

FieldReader::FieldReader(std::string content) : data_(std::move(content)) {
  if (data_.size() >= 3 && static_cast<unsigned char>(data_[0]) == 0xEF &&
      static_cast<unsigned char>(data_[1]) == 0xBB && static_cast<unsigned char>(data_[2]) == 0xBF)
    pos_ = 3;
}

bool FieldReader::OnlyBlankLeft() const {
  for (size_t i = pos_; i < data_.size(); ++i)
    if (!IsBlank(data_[i]) && !IsLineEnd(data_[i])) return false;
  return true;
}

bool FieldReader::NextField(std::string& out, FieldError& err) {
  ++fieldInRecord_;
  err = FieldError{};
  err.field = fieldInRecord_;
  out.clear();
  while (pos_ < data_.size() && IsBlank(data_[pos_])) ++pos_;
  err.line = line_;
  if (pos_ >= data_.size()) {
    err.kind = FieldErrorKind::FileEnds;
    return false;
  }
  auto consumeDelimiter = [this] {
    if (pos_ >= data_.size()) return;
    char c = data_[pos_];
    if (c == ',') {
      ++pos_;
    } else if (c == '\r') {
      ++pos_;
      if (pos_ < data_.size() && data_[pos_] == '\n') ++pos_;
      ++line_;
    } else if (c == '\n') {
      ++pos_;
      ++line_;
    }
  };
  if (data_[pos_] == '"') {
    ++pos_;
    size_t close = data_.find('"', pos_);
    if (close == std::string::npos) {
      out = data_.substr(pos_);
      pos_ = data_.size();
      err.text = "\"" + out;
      err.kind = FieldErrorKind::NoClosingQuote;
      return false;
    }
    out = data_.substr(pos_, close - pos_);
    // Line ends inside the quotes: CR LF, LF and a lone CR each count once.
    for (size_t i = 0; i < out.size(); ++i)
      if (out[i] == '\n' || (out[i] == '\r' && (i + 1 >= out.size() || out[i + 1] != '\n')))
        ++line_;
    pos_ = close + 1;
    // Anything between the closing quote and the delimiter is ignored.
    while (pos_ < data_.size() && data_[pos_] != ',' && !IsLineEnd(data_[pos_])) ++pos_;
    consumeDelimiter();
    return true;
  }
  size_t start = pos_;
  while (pos_ < data_.size() && data_[pos_] != ',' && !IsLineEnd(data_[pos_])) ++pos_;
  size_t end = pos_;
  while (end > start && IsBlank(data_[end - 1])) --end;
  out = data_.substr(start, end - start);
  consumeDelimiter();
  return true;
}

bool FieldReader::ReadText(std::string& out, FieldError& err) { return NextField(out, err); }

bool FieldReader::ReadWhole(std::int64_t low, std::int64_t high, FieldErrorKind outOfRange,
                            std::int64_t& out, FieldError& err) {
  std::string text;
  if (!NextField(text, err)) return false;
  std::int64_t v;
  err.text = text;
  if (!ParseInt64(text, v)) {
    err.kind = text.empty() ? FieldErrorKind::EmptyWhole : FieldErrorKind::NotWhole;
    return false;
  }
  if (v < low || v > high) {
    err.kind = outOfRange;
    return false;
  }
  out = v;
  return true;
}

bool FieldReader::ReadInt32(std::int32_t& out, FieldError& err) {
  std::int64_t v;
  if (!ReadWhole(std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
                 FieldErrorKind::OutOfInt32, v, err))
    return false;
  out = static_cast<std::int32_t>(v);
  return true;
}

bool FieldReader::ReadInt16(std::int16_t& out, FieldError& err) {
  std::int64_t v;
  if (!ReadWhole(-32768, 32767, FieldErrorKind::OutOfInt16, v, err)) return false;
  out = static_cast<std::int16_t>(v);
  return true;
}

bool FieldReader::ReadReal(double& out, FieldError& err) {
  std::string text;
  if (!NextField(text, err)) return false;
  err.text = text;
  if (!ParseReal(text, out)) {
    err.kind = text.empty() ? FieldErrorKind::EmptyReal : FieldErrorKind::NotReal;
    return false;
  }
  return true;
}

bool ParseInt64(const std::string& text, std::int64_t& out) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size()) return false;
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
    if (v > (std::numeric_limits<std::int64_t>::max() - 9) / 10) {
      // Far beyond any 32-bit field: keep a saturated value for the range check.
      v = std::numeric_limits<std::int64_t>::max() / 2;
      continue;
    }
    v = v * 10 + (text[i] - '0');
  }
  out = negative ? -v : v;
  return true;
}

bool ParseReal(const std::string& text, double& out) {
  // Check the form first: [sign] (digits [. [digits]] | . digits) [(e|E) [sign] digits]
  size_t i = 0, n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  size_t mantissaStart = i;
  size_t digits = 0;
  while (i < n && IsDigit(text[i])) ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < n && IsDigit(text[i])) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != n) return false;
  // from_chars takes no leading '+'.
  const char* first = text.data() + mantissaStart;
  const char* last = text.data() + n;
  double v = 0;
  auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::general);
  if (ptr != last) return false;
  if (ec == std::errc::result_out_of_range) {
    // Beyond the range of a double. A magnitude too small to hold reads as 0;
    // one too large to hold is no number. Which of the two it is follows from
    // the power of ten of the first nonzero digit, not from the exponent's
    // sign alone ("1000...0e-10" may still be far too large).
    if (DecimalPower(text, mantissaStart) >= 0) return false;
    v = 0.0;
  } else if (ec != std::errc()) {
    return false;
  }
  if (!std::isfinite(v)) return false;
  if (mantissaStart > 0 && text[0] == '-') v = -v;
  out = v;
  return true;
}

const char* FieldErrorText(FieldErrorKind kind) {
  switch (kind) {
    case FieldErrorKind::FileEnds: return "the file ends inside the record";
    case FieldErrorKind::NoClosingQuote: return "has no closing double quote";
    case FieldErrorKind::EmptyWhole: return "is empty where a whole number belongs";
    case FieldErrorKind::NotWhole: return "is not a whole number";
    case FieldErrorKind::OutOfInt32:
      return "is out of the range of a whole number (-2147483648 to 2147483647)";
    case FieldErrorKind::OutOfInt16:
      return "is out of the range of a 16-bit whole number (-32768 to 32767)";
    case FieldErrorKind::EmptyReal: return "is empty where a number belongs";
    case FieldErrorKind::NotReal: return "is not a number";
    case FieldErrorKind::None: break;
  }
  return "";
}

std::string FieldProblem(const FieldError& err) {
  if (err.kind == FieldErrorKind::FileEnds) return FieldErrorText(err.kind);
  return "\"" + Shown(err.text) + "\" " + FieldErrorText(err.kind);
}

std::string DescribeFieldError(int record, const FieldError& err) {
  return "record " + std::to_string(record) + ", field " + std::to_string(err.field) + " (line " +
         std::to_string(err.line) + "): " + FieldProblem(err);
}

}  // namespace treetri
