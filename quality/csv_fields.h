// The CSV conventions of the quality layer's files, below their layouts: a
// line split into quoted fields, the booleans' words, the fields of a line
// read in order with the first failure recorded (its column and the text
// found) and a file read line by line; shared by the writers and readers of
// the quality files and of the plot network's files.
#ifndef TREETRI_QUALITY_CSV_FIELDS_H
#define TREETRI_QUALITY_CSV_FIELDS_H

#include <charconv>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace treetri::quality {

// A boolean of every CSV file the programs write: "TRUE" or "FALSE".
inline const char* BoolWord(bool b) { return b ? "TRUE" : "FALSE"; }

// Result of parsing one line: ok, or the 1-based column where it went wrong
// (0 for the line as a whole: a wrong field count) and what was wrong.
struct ParseStatus {
  bool ok = true;
  int column = 0;
  std::string message;
};

// Result of reading a whole file: ok, or where it went wrong. line
// is 1-based (0: the file could not be read at all); column is 1-based with
// its name (0 and null: the line as a whole, e.g. a wrong header, a wrong
// field count or an empty file).
struct FileReadStatus {
  bool ok = true;
  std::string path;
  int line = 0;
  int column = 0;
  const char* columnName = nullptr;
  std::string message;
};

// Splits a CSV line into fields (quotes as written by the formatter).
// Returns false when a quoted field is not closed.
bool SplitCsvLine(std::string_view line, std::vector<std::string>& fields);

// The fields of one line, read in order.
class CsvLineFields {
 public:
  explicit CsvLineFields(const std::vector<std::string>& f) : f_(f) {}
  const ParseStatus& Status() const { return st_; }

  void Int(int& out) {
    const std::string& t = Take();
    if (!st_.ok) return;
    if (!ToInt(t, out)) Fail("not a whole number: '" + t + "'");
  }
  void Int(std::optional<int>& out) {
    const std::string& t = Take();
    out.reset();
    if (!st_.ok || t.empty()) return;
    int v = 0;
    if (!ToInt(t, v)) return Fail("not a whole number: '" + t + "'");
    out = v;
  }
  void Real(double& out) {
    std::optional<double> v;
    Real(v);
    if (st_.ok && !v) return Fail("empty number");
    if (v) out = *v;
  }
  void Real(std::optional<double>& out) {
    const std::string& t = Take();
    out.reset();
    if (!st_.ok || t.empty()) return;
    double v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isfinite(v))
      return Fail("not a number: '" + t + "'");
    out = v;
  }
  void Bool(std::optional<bool>& out) {
    const std::string& t = Take();
    out.reset();
    if (!st_.ok || t.empty()) return;
    if (t == BoolWord(true))
      out = true;
    else if (t == BoolWord(false))
      out = false;
    else
      Fail("not TRUE or FALSE: '" + t + "'");
  }
  void Text(std::string& out) {
    const std::string& t = Take();
    if (st_.ok) out = t;
  }
  void Bool(bool& out) {
    std::optional<bool> v;
    Bool(v);
    if (st_.ok && !v) return Fail("empty, not TRUE or FALSE");
    if (v) out = *v;
  }
  template <class E>
  void Word(bool (*parse)(std::string_view, E&), E& out) {
    const std::string& t = Take();
    if (st_.ok && !parse(t, out)) Fail("unknown word: '" + t + "'");
  }
  // A text that must be one of `words`.
  void Word(std::string& out, std::initializer_list<const char*> words) {
    const std::string& t = Take();
    if (!st_.ok) return;
    for (const char* w : words)
      if (t == w) {
        out = t;
        return;
      }
    Fail("unknown word: '" + t + "'");
  }

 private:
  static bool ToInt(const std::string& t, int& out) {
    auto r = std::from_chars(t.data(), t.data() + t.size(), out);
    return r.ec == std::errc() && r.ptr == t.data() + t.size() && !t.empty();
  }
  const std::string& Take() {
    static const std::string kEmpty;
    if (!st_.ok) return kEmpty;
    return f_[static_cast<size_t>(next_++)];
  }
  void Fail(std::string message) {
    st_.ok = false;
    st_.column = next_;
    st_.message = std::move(message);
  }
  const std::vector<std::string>& f_;
  int next_ = 0;
  ParseStatus st_;
};

// Splits a line of `columns` fields, or of those and the `extra` ones that
// the plot network adds (read by the caller after the others).
ParseStatus SplitChecked(std::string_view line, size_t columns, std::vector<std::string>& f,
                         size_t extra = 0);

// A CSV file of the quality layer as its readers see it: its header line
// (without the line end), a wider one that is also accepted (a plot network
// run's; empty: none), and the names of all its columns in order, those of
// the wider header included, which name the column where a line went wrong.
struct CsvFileLayout {
  std::string header;
  std::string widerHeader;
  std::vector<const char*> columns;
};

// Reads a file of `layout` line by line: an empty file and another header
// are failures on line 1; blank lines (spaces, tabs) are skipped; every
// other line goes to `line` with its number, and its failure is the file's,
// with the line and the column. With `cutLine`, a last line without its line
// end (a writer stopped inside it) is not read: its number goes there.
FileReadStatus ReadCsvFile(const std::string& path, const CsvFileLayout& layout,
                           const std::function<ParseStatus(std::string_view line, int number)>& line,
                           int* cutLine = nullptr);

}  // namespace treetri::quality

#endif  // TREETRI_QUALITY_CSV_FIELDS_H
