#include "quality/csv_fields.h"

#include "platform/files.h"
#include "platform/text.h"

namespace treetri::quality {

bool SplitCsvLine(std::string_view line, std::vector<std::string>& fields) {
  fields.clear();
  std::string cur;
  size_t i = 0;
  for (;;) {
    cur.clear();
    if (i < line.size() && line[i] == '"') {
      ++i;
      for (;;) {
        if (i >= line.size()) return false;
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            cur += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        cur += line[i++];
      }
      // Anything between the closing quote and the comma is kept as text.
      while (i < line.size() && line[i] != ',') cur += line[i++];
    } else {
      while (i < line.size() && line[i] != ',') cur += line[i++];
    }
    fields.push_back(cur);
    if (i >= line.size()) return true;
    ++i;  // the comma
  }
}

ParseStatus SplitChecked(std::string_view line, size_t columns, std::vector<std::string>& f,
                         size_t extra) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  ParseStatus st;
  if (!SplitCsvLine(line, f)) {
    st.ok = false;
    st.message = "unclosed quote";
  } else if (extra > 0 && f.size() == columns + extra) {
  } else if (f.size() != columns) {
    st.ok = false;
    st.message = std::to_string(f.size()) + " fields instead of " + std::to_string(columns);
  }
  return st;
}

FileReadStatus ReadCsvFile(const std::string& path, const CsvFileLayout& layout,
                           const std::function<ParseStatus(std::string_view line, int number)>& line,
                           int* cutLine) {
  FileReadStatus st;
  st.path = path;
  std::string text;
  if (!ReadWholeFile(path, text, st.message)) {
    st.ok = false;
    return st;
  }
  auto fail = [&](int number, std::string message) {
    st.ok = false;
    st.line = number;
    st.message = std::move(message);
  };
  if (text.empty()) {
    fail(1, "the file is empty");
    return st;
  }
  ForEachLine(text, [&](std::string_view l, int number, bool complete) {
    if (number == 1) {
      if (l == layout.header || (!layout.widerHeader.empty() && l == layout.widerHeader))
        return true;
      fail(1, "the header is not \"" + layout.header + "\"");
      return false;
    }
    if (l.find_first_not_of(" \t\r") == std::string_view::npos) return true;
    if (!complete && cutLine) {
      *cutLine = number;
      return false;
    }
    const ParseStatus p = line(l, number);
    if (p.ok) return true;
    fail(number, p.message);
    if (p.column >= 1 && p.column <= static_cast<int>(layout.columns.size())) {
      st.column = p.column;
      st.columnName = layout.columns[static_cast<size_t>(p.column - 1)];
    }
    return false;
  });
  return st;
}

}  // namespace treetri::quality
