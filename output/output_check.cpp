#include "output/output_check.h"

#include <algorithm>
#include <cstdio>

#include "output/number_text.h"
#include "platform/text.h"

namespace treetri {

std::string QuotedText(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c < 0x20 || c >= 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// The lines of a file the program writes: every line ends with CR LF, so
// the text ends with one (or is empty) and holds no other line end.
std::vector<std::string> WrittenLines(const std::string& text, std::vector<std::string>& problems) {
  if (text.empty()) return {};
  std::string body = text;
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) {
    const size_t cut = text.rfind("\r\n");
    problems.push_back("the last line is not complete: " +
                       QuotedText(text.substr(cut == std::string::npos ? 0 : cut + 2)));
    body = cut == std::string::npos ? std::string() : text.substr(0, cut + 2);
    if (body.empty()) return {};
  }
  std::vector<std::string> lines = SplitAt(body.substr(0, body.size() - 2), "\r\n");
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].find_first_of("\r\n") != std::string::npos)
      problems.push_back("line " + std::to_string(i + 1) + " holds a stray line end");
  return lines;
}

void NoNonFiniteWords(const std::string& where, const std::string& text,
                      std::vector<std::string>& problems) {
  std::string lower = text;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (lower.find("nan") != std::string::npos || lower.find("inf") != std::string::npos)
    problems.push_back(where + " holds \"nan\" or \"inf\"");
}

namespace {

// A number with exactly `decimals` decimals (a whole number for 0).
bool NumberForm(const std::string& f, int decimals) {
  size_t i = f.size() > 0 && f[0] == '-' ? 1 : 0, digits = 0, decs = 0;
  while (i < f.size() && f[i] >= '0' && f[i] <= '9') ++i, ++digits;
  if (digits == 0) return false;
  if (decimals == 0) return i == f.size();
  if (i >= f.size() || f[i++] != '.') return false;
  while (i < f.size() && f[i] >= '0' && f[i] <= '9') ++i, ++decs;
  return i == f.size() && static_cast<int>(decs) == decimals;
}

}  // namespace

// Field forms: 'i' integer, '0'..'5' fixed with that many decimals or
// "-999", 'b' a flag word.
void CheckFields(const std::string& where, const std::vector<std::string>& fields, size_t first,
                 const std::string& forms, std::vector<std::string>& problems) {
  for (size_t k = 0; k < forms.size() && first + k < fields.size(); ++k) {
    const std::string& f = fields[first + k];
    const char form = forms[k];
    const bool ok = form == 'i'   ? NumberForm(f, 0)
                    : form == 'b' ? f == FlagText(true) || f == FlagText(false)
                                  : f == kMissingText || NumberForm(f, form - '0');
    if (!ok)
      problems.push_back(where + ", field " + std::to_string(first + k + 1) + ": " + QuotedText(f));
  }
}

std::vector<std::string> CheckResultsText(const std::string& text) {
  std::vector<std::string> problems;
  NoNonFiniteWords("the text", text, problems);
  const std::vector<std::string> lines = WrittenLines(text, problems);
  if (lines.empty()) return problems;
  const std::vector<std::string> header = SplitAt(lines[0], ",");
  // The last word follows the comma and blank of "NumOfObs, " when case 1
  // has no slot blocks, the comma of "Obs_azim," when it has some.
  const size_t bare = static_cast<size_t>(ResultsFieldCount(0));
  const std::string last = std::string(header.size() == bare ? " " : "") + kResultsHeaderEnd;
  if (header[0] != "Case" || header.back() != last || header.size() < bare ||
      (header.size() - bare) % kResultsSlotFields != 0)
    problems.push_back("line 1 is not a header line");
  for (size_t k = 1; k < lines.size(); ++k) {
    const std::string where = "line " + std::to_string(k + 1);
    const std::vector<std::string> f = SplitAt(lines[k], ",");
    if (f.size() < bare) {
      problems.push_back(where + " has " + std::to_string(f.size()) + " fields");
      continue;
    }
    CheckFields(where, f, 0, kResultsCaseForms, problems);
    if (f[0] != std::to_string(k)) problems.push_back(where + " is not case " + std::to_string(k));
    const std::string& npaText = f[kFieldNPA];
    const int npa = NumberForm(npaText, 0) && npaText.size() < 10 ? std::stoi(npaText) : 0;
    const int slots = ResultsSlotCount(npa);
    if (f.size() != static_cast<size_t>(ResultsFieldCount(slots))) {
      problems.push_back(where + " has " + std::to_string(f.size()) + " fields for NPA " + npaText);
      continue;
    }
    for (int j = 0; j < slots; ++j)
      CheckFields(where, f, static_cast<size_t>(kResultsCaseFields + kResultsSlotFields * j),
                  kResultsSlotForms, problems);
    const std::string& type = f.back();
    if (std::find(kTypeOfIniWords.begin(), kTypeOfIniWords.end(), type) == kTypeOfIniWords.end())
      problems.push_back(where + " ends with " + QuotedText(type));
  }
  return problems;
}

std::vector<std::string> CheckMapDataText(const std::string& text) {
  std::vector<std::string> problems;
  NoNonFiniteWords("the text", text, problems);
  const std::vector<std::string> lines = WrittenLines(text, problems);
  for (size_t k = 0; k < lines.size(); ++k) {
    const std::string where = "line " + std::to_string(k + 1);
    const std::vector<std::string> f = SplitAt(lines[k], ",");
    const size_t fields = f.size() - 1;  // after the last field's comma
    if (fields < static_cast<size_t>(MapDataFieldCount(0)) || fields % 2 == 1 || !f.back().empty()) {
      problems.push_back(where + " has " + std::to_string(fields) + " fields");
      continue;
    }
    CheckFields(where, f, 0,
                kMapDataCaseForms + std::string(fields - kMapDataCaseFields, '2'), problems);
    for (size_t i = 4; i < static_cast<size_t>(kMapDataCaseFields); ++i)
      if (f[i] != "0.00000") problems.push_back(where + ": reserved value " + QuotedText(f[i]));
  }
  return problems;
}

}  // namespace treetri
