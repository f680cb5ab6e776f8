#include "quality/csv_fields.h"

#include "platform/text.h"

namespace treetri::quality {

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

}  // namespace treetri::quality
