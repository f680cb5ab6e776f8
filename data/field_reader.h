// Reader of the comma-separated field syntax shared by the map file, the
// sighting file and the parameter file. A field ends at a comma or a line end
// (CR LF, LF or a lone CR); blanks and tabs around it are ignored; a field in
// double quotes loses its quotes and may hold commas and line ends. A UTF-8
// byte-order mark at the start is skipped; other bytes pass through as 8-bit
// text. Numbers use a point as decimal separator, whatever the locale.
#pragma once

#include <cstdint>
#include <string>

namespace treetri {

// Why a field could not be read.
enum class FieldErrorKind {
  None,
  FileEnds,        // the file ends inside the record
  NoClosingQuote,
  EmptyWhole,      // empty where a whole number belongs
  NotWhole,
  OutOfInt32,
  OutOfInt16,
  EmptyReal,       // empty where a number belongs
  NotReal,
};

// The words a message uses for the kind ("is not a whole number" ...).
const char* FieldErrorText(FieldErrorKind kind);

// Where and why a field could not be read.
struct FieldError {
  int field = 0;      // number of the field within its record (from 1)
  int line = 0;       // line of the file on which the field starts (from 1)
  std::string text;   // the text found
  FieldErrorKind kind = FieldErrorKind::None;
};

class FieldReader {
 public:
  explicit FieldReader(std::string content);

  // True when no byte is left.
  bool AtEnd() const { return pos_ >= data_.size(); }
  // True when only blanks, tabs and line ends are left.
  bool OnlyBlankLeft() const;

  // Starts counting the fields of a new record.
  void BeginRecord() { fieldInRecord_ = 0; }

  // Each reads the next field. On failure they return false and fill the
  // error; the reader is then past the bad field.
  bool ReadText(std::string& out, FieldError& err);
  bool ReadInt32(std::int32_t& out, FieldError& err);
  bool ReadInt16(std::int16_t& out, FieldError& err);
  bool ReadReal(double& out, FieldError& err);

  int Line() const { return line_; }

 private:
  // Reads the raw text of the next field; false at the end of the data.
  bool NextField(std::string& out, FieldError& err);
  // Reads a whole number within low..high.
  bool ReadWhole(std::int64_t low, std::int64_t high, FieldErrorKind outOfRange,
                 std::int64_t& out, FieldError& err);

  std::string data_;
  size_t pos_ = 0;
  int line_ = 1;
  int fieldInRecord_ = 0;
};

// Parses a whole number (optional sign and digits) or a real number (decimal
// or exponent form, no "nan" or "inf", within the range of a double).
bool ParseInt64(const std::string& text, std::int64_t& out);
bool ParseReal(const std::string& text, double& out);

// The text found and what is wrong with it: "\"abc\" is not a number", or
// "the file ends inside the record".
std::string FieldProblem(const FieldError& err);

// A field error as message text: "record 3, field 4 (line 5): "abc" is not a
// number".
std::string DescribeFieldError(int record, const FieldError& err);

}  // namespace treetri
