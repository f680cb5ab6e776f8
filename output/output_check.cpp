#include "output/output_check.h"

#include <cstdio>

#include "data/field_reader.h"
#include "data/tables.h"

namespace treetri {

namespace {

std::string Quote(const std::string& s) {
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
std::vector<std::string> Lines(const std::string& text, std::vector<std::string>& problems) {
  if (text.empty()) return {};
  std::string body = text;
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) {
    const size_t cut = text.rfind("\r\n");
    problems.push_back("the last line is not complete: " +
                       Quote(text.substr(cut == std::string::npos ? 0 : cut + 2)));
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

// Field forms: 'i' integer, '0'..'5' fixed with that many decimals or
// "-999", 'b' a flag word.
void CheckFields(const std::string& where, const std::vector<std::string>& fields, size_t first,
                 const std::string& forms, std::vector<std::string>& problems) {
  for (size_t k = 0; k < forms.size() && first + k < fields.size(); ++k) {
    const std::string& f = fields[first + k];
    const char form = forms[k];
    const bool ok = form == 'i'   ? NumberForm(f, 0)
                    : form == 'b' ? f == "True" || f == "False"
                                  : f == "-999" || NumberForm(f, form - '0');
    if (!ok)
      problems.push_back(where + ", field " + std::to_string(first + k + 1) + ": " + Quote(f));
  }
}

const char* const kCaseForms = "iiiii22223224ii";
const char* const kSlotForms = "ii222243b42b44";

}  // namespace

int ResultsSlotCount(int npa) { return npa >= 1 && npa <= kSlotCount ? npa : 0; }

std::vector<std::string> SplitAt(const std::string& s, const std::string& separator) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t end = s.find(separator, start);
    if (end == std::string::npos) {
      out.push_back(s.substr(start));
      return out;
    }
    out.push_back(s.substr(start, end - start));
    start = end + separator.size();
  }
}

std::vector<std::string> CheckResultsText(const std::string& text) {
  std::vector<std::string> problems;
  NoNonFiniteWords("the text", text, problems);
  const std::vector<std::string> lines = Lines(text, problems);
  if (lines.empty()) return problems;
  const std::vector<std::string> header = SplitAt(lines[0], ",");
  // The last word follows the comma and blank of "NumOfObs, " when case 1
  // has no slot blocks, the comma of "Obs_azim," when it has some.
  const std::string last = header.size() == 16 ? " TypeOfIni" : "TypeOfIni";
  if (header[0] != "Case" || header.back() != last || header.size() < 16 ||
      (header.size() - 16) % 14 != 0)
    problems.push_back("line 1 is not a header line");
  for (size_t k = 1; k < lines.size(); ++k) {
    const std::string where = "line " + std::to_string(k + 1);
    const std::vector<std::string> f = SplitAt(lines[k], ",");
    if (f.size() < 16) {
      problems.push_back(where + " has " + std::to_string(f.size()) + " fields");
      continue;
    }
    CheckFields(where, f, 0, kCaseForms, problems);
    if (f[0] != std::to_string(k)) problems.push_back(where + " is not case " + std::to_string(k));
    const int npa = NumberForm(f[13], 0) && f[13].size() < 10 ? std::stoi(f[13]) : 0;
    const size_t slots = static_cast<size_t>(ResultsSlotCount(npa));
    if (f.size() != 15 + 14 * slots + 1) {
      problems.push_back(where + " has " + std::to_string(f.size()) + " fields for NPA " + f[13]);
      continue;
    }
    for (size_t j = 0; j < slots; ++j) CheckFields(where, f, 15 + 14 * j, kSlotForms, problems);
    const std::string& type = f.back();
    if (type != "POLAR   " && type != "INTERSEC" && type != "NONE    ")
      problems.push_back(where + " ends with " + Quote(type));
  }
  return problems;
}

std::vector<std::string> CheckMapDataText(const std::string& text) {
  std::vector<std::string> problems;
  NoNonFiniteWords("the text", text, problems);
  const std::vector<std::string> lines = Lines(text, problems);
  for (size_t k = 0; k < lines.size(); ++k) {
    const std::string where = "line " + std::to_string(k + 1);
    const std::vector<std::string> f = SplitAt(lines[k], ",");
    if (f.size() < 11 || f.size() % 2 == 0 || !f.back().empty()) {
      problems.push_back(where + " has " + std::to_string(f.size() - 1) + " fields");
      continue;
    }
    CheckFields(where, f, 0, "0022555555" + std::string(f.size() - 11, '2'), problems);
    for (size_t i = 4; i < 10; ++i)
      if (f[i] != "0.00000") problems.push_back(where + ": reserved value " + Quote(f[i]));
  }
  return problems;
}

std::vector<std::string> CheckListLine(const std::string& line) {
  std::vector<std::string> problems;
  NoNonFiniteWords("the line", line, problems);
  const std::vector<std::string> p = SplitAt(line, ", ");
  if (p.size() != 10) return {"the line has " + std::to_string(p.size()) + " parts: " + Quote(line)};
  CheckFields("the line", p, 0, "iiii22322", problems);
  const std::string& s = p[9];
  const bool known = s == " OK " || s == " ? " || s == "UNCHECKED" ||
                     (s.rfind("???? Point ", 0) == 0 && s.size() > 22 &&
                      s.compare(s.size() - 11, 11, " erroneous?") == 0) ||
                     s == "FAILED: NPA" || s == "FAILED: coincident point" ||
                     s == "FAILED: singular" || s == "FAILED: too many rows" ||
                     s == "FAILED: not finite";
  if (!known) problems.push_back("the status " + Quote(s) + " is not one of the program's");
  return problems;
}

std::vector<std::string> CheckDumpText(const std::string& text) {
  std::vector<std::string> problems;
  NoNonFiniteWords("the text", text, problems);
  const std::vector<std::string> lines = Lines(text, problems);
  for (size_t k = 0; k < lines.size(); ++k)
    for (const std::string& item : SplitAt(lines[k], " ")) {
      double v;
      if (!ParseReal(item, v))
        problems.push_back("line " + std::to_string(k + 1) + ": " + Quote(item) + " is no number");
    }
  return problems;
}

}  // namespace treetri
