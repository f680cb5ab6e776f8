#include "core/corrections.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>

#include "data/field_reader.h"
#include "data/plot_tree_index.h"
#include "data/sighting_record.h"
#include "platform/file_facts.h"
#include "platform/files.h"
#include "platform/run_guard.h"
#include "platform/text.h"
#include "quality/quality_files.h"

namespace treetri {

namespace {

constexpr std::array<const char*, 4> kFieldWords = {"tree", "distance", "azimuth", "sighting"};

// A text field of the file: quoted when it holds a comma or a quote; line
// breaks become blanks so that every correction stays one line.
std::string CsvText(std::string text) {
  for (char& ch : text)
    if (ch == '\r' || ch == '\n') ch = ' ';
  if (text.find_first_of(",\"") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char ch : text) {
    if (ch == '"') quoted += '"';
    quoted += ch;
  }
  return quoted + "\"";
}

bool IsDigits(const std::string& s, size_t from, size_t count) {
  if (s.size() < from + count) return false;
  for (size_t i = from; i < from + count; ++i)
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  return true;
}

// YYYY-MM-DD, then T (or a blank) and hh:mm, optionally :ss and a fraction,
// then optionally Z or +hh:mm / -hh:mm (or +hhmm).
bool IsIsoTime(const std::string& s) {
  if (!(IsDigits(s, 0, 4) && s[4] == '-' && IsDigits(s, 5, 2) && s[7] == '-' && IsDigits(s, 8, 2)))
    return false;
  const int month = std::stoi(s.substr(5, 2)), day = std::stoi(s.substr(8, 2));
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  if (s.size() == 10) return true;
  if (!(s[10] == 'T' || s[10] == ' ') || !IsDigits(s, 11, 2) || s.size() < 16 || s[13] != ':' ||
      !IsDigits(s, 14, 2))
    return false;
  if (std::stoi(s.substr(11, 2)) > 23 || std::stoi(s.substr(14, 2)) > 59) return false;
  size_t i = 16;
  if (i < s.size() && s[i] == ':') {
    if (!IsDigits(s, i + 1, 2) || std::stoi(s.substr(i + 1, 2)) > 60) return false;
    i += 3;
    if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
      ++i;
      const size_t start = i;
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      if (i == start) return false;
    }
  }
  if (i == s.size()) return true;
  if (s[i] == 'Z') return i + 1 == s.size();
  if (s[i] != '+' && s[i] != '-') return false;
  const std::string zone = s.substr(i + 1);
  return (zone.size() == 5 && IsDigits(zone, 0, 2) && zone[2] == ':' && IsDigits(zone, 3, 2)) ||
         (zone.size() == 4 && IsDigits(zone, 0, 4)) || (zone.size() == 2 && IsDigits(zone, 0, 2));
}

// A distance or azimuth of the file: a number, or empty for "not measured".
bool ParseValue(const std::string& text, double& out) {
  if (text.empty()) {
    out = kNotMeasured;
    return true;
  }
  return ParseReal(text, out);
}

// "DISTANCE/AZIMUTH", or empty for "neither measured".
bool ParsePair(const std::string& text, double& distance, double& azimuth) {
  if (text.empty()) {
    distance = azimuth = kNotMeasured;
    return true;
  }
  const size_t slash = text.find('/');
  return slash != std::string::npos && slash > 0 && slash + 1 < text.size() &&
         ParseValue(text.substr(0, slash), distance) && ParseValue(text.substr(slash + 1), azimuth);
}

bool ParseWhole(const std::string& text, int& out) {
  std::int64_t v = 0;
  if (!ParseInt64(text, v) || v < INT32_MIN || v > INT32_MAX) return false;
  out = static_cast<int>(v);
  return true;
}

// The values of a correction, parsed: old and new of its field.
struct Values {
  double oldDistance = kNotMeasured, oldAzimuth = kNotMeasured;
  double newDistance = kNotMeasured, newAzimuth = kNotMeasured;
  int oldTree = 0, newTree = 0;
};

// Checks old and new for the field; on failure names the column and why.
bool ParseValues(const Correction& c, Values& v, const char*& column, std::string& why) {
  switch (c.field) {
    case CorrectionField::Tree:
      column = "old";
      if (!ParseWhole(c.oldValue, v.oldTree)) {
        why = "is not a tree number";
        return false;
      }
      column = "new";
      if (!ParseWhole(c.newValue, v.newTree)) {
        why = "is not a tree number (a tree number cannot be dropped; drop the sighting)";
        return false;
      }
      return true;
    case CorrectionField::Distance:
    case CorrectionField::Azimuth: {
      double& o = c.field == CorrectionField::Distance ? v.oldDistance : v.oldAzimuth;
      double& n = c.field == CorrectionField::Distance ? v.newDistance : v.newAzimuth;
      column = "old";
      if (!ParseValue(c.oldValue, o)) {
        why = "is not a number";
        return false;
      }
      column = "new";
      if (!ParseValue(c.newValue, n)) {
        why = "is not a number (empty for a drop)";
        return false;
      }
      return true;
    }
    case CorrectionField::Sighting:
      column = "old";
      if (!ParsePair(c.oldValue, v.oldDistance, v.oldAzimuth)) {
        why = "is not DISTANCE/AZIMUTH";
        return false;
      }
      column = "new";
      if (!ParsePair(c.newValue, v.newDistance, v.newAzimuth)) {
        why = "is not DISTANCE/AZIMUTH (empty for a drop)";
        return false;
      }
      return true;
  }
  return false;
}

// Numbers compared as numbers; every value of -1 or less means "not measured".
bool SameValue(double a, double b) {
  if (a <= kNotMeasured || b <= kNotMeasured) return a <= kNotMeasured && b <= kNotMeasured;
  return a == b;
}

bool OldMatches(const TargetTree& r, int slot, CorrectionField field, const Values& v) {
  switch (field) {
    case CorrectionField::Tree: return r.SightedTree[slot] == v.oldTree;
    case CorrectionField::Distance: return SameValue(r.Distance[slot], v.oldDistance);
    case CorrectionField::Azimuth: return SameValue(r.Azimuth[slot], v.oldAzimuth);
    case CorrectionField::Sighting:
      return SameValue(r.Distance[slot], v.oldDistance) && SameValue(r.Azimuth[slot], v.oldAzimuth);
  }
  return false;
}

void SetNew(TargetTree& r, int slot, CorrectionField field, const Values& v) {
  switch (field) {
    case CorrectionField::Tree: r.SightedTree[slot] = v.newTree; break;
    case CorrectionField::Distance: r.Distance[slot] = v.newDistance; break;
    case CorrectionField::Azimuth: r.Azimuth[slot] = v.newAzimuth; break;
    case CorrectionField::Sighting:
      r.Distance[slot] = v.newDistance;
      r.Azimuth[slot] = v.newAzimuth;
      break;
  }
}

std::string LinePlace(const std::string& path, int line) {
  return "The corrections file \"" + path + "\", line " + std::to_string(line);
}

bool ApplyWithIndex(InputData& input, const Correction& c, const std::string& path,
                    const PlotTreeIndex& index, int& record, std::string& error) {
  const std::string place = LinePlace(path, c.line);
  const std::string who = "plot " + std::to_string(c.plot) + ", field tree " +
                          std::to_string(c.tree) + ", slot " + std::to_string(c.slot);
  Values v;
  const char* column = "";
  std::string why;
  if (!ParseValues(c, v, column, why)) {
    error = place + ", field \"" + column + "\": " + why + ".";
    return false;
  }
  std::vector<int> records, matching;
  const int n = input.TargetTreeCount < input.TargetTrees.Size() ? input.TargetTreeCount
                                                                 : input.TargetTrees.Size();
  for (int i = 1; i <= n; ++i) {
    const TargetTree& r = input.TargetTrees[i];
    if (r.Plot != c.plot || r.Tree != c.tree) continue;
    records.push_back(i);
    if (OldMatches(r, c.slot, c.field, v)) matching.push_back(i);
  }
  const std::string field = CorrectionFieldWord(c.field);
  if (records.empty()) {
    error = place + ": " + who + " is not in the sighting file \"" + input.SightingFileName +
            "\". The correction is refused.";
    return false;
  }
  if (matching.empty()) {
    std::string found;
    for (int i : records)
      found += (found.empty() ? "" : ", ") + std::string("\"") +
               CorrectionFieldText(input.TargetTrees[i], c.slot, c.field) + "\" in record " +
               std::to_string(i);
    error = place + ": the old " + field + " \"" + c.oldValue + "\" of " + who +
            " does not match the sighting file \"" + input.SightingFileName + "\" (" + found +
            "). The correction is refused.";
    return false;
  }
  if (matching.size() > 1) {
    std::string list;
    for (size_t j = 0; j < matching.size(); ++j)
      list += (j == 0 ? "" : j + 1 == matching.size() ? " and " : ", ") +
              std::to_string(matching[j]);
    error = place + ": " + who + " appears in records " + list + " of the sighting file \"" +
            input.SightingFileName + "\" with the same old " + field +
            " \"" + c.oldValue + "\"; the line cannot tell them apart. The correction is refused.";
    return false;
  }
  record = matching.front();
  TargetTree& r = input.TargetTrees[record];
  if (c.slot > r.NPA) {
    error = place + ": " + who + " is beyond the " + std::to_string(r.NPA) +
            " sighted trees of record " + std::to_string(record) +
            " (NPA), so a run does not use it. The correction is refused.";
    return false;
  }
  SetNew(r, c.slot, c.field, v);
  AttachSightedTrees(r, input.PhotoTrees, index);
  return true;
}

}  // namespace

std::string CorrectionFieldText(const TargetTree& r, int slot, CorrectionField field) {
  switch (field) {
    case CorrectionField::Tree: return std::to_string(r.SightedTree[slot]);
    case CorrectionField::Distance: return SightingNumberText(r.Distance[slot]);
    case CorrectionField::Azimuth: return SightingNumberText(r.Azimuth[slot]);
    case CorrectionField::Sighting:
      return SightingNumberText(r.Distance[slot]) + "/" + SightingNumberText(r.Azimuth[slot]);
  }
  return "";
}

const char* CorrectionFieldWord(CorrectionField f) {
  return kFieldWords[static_cast<size_t>(f)];
}

bool ParseCorrectionField(const std::string& word, CorrectionField& out) {
  for (size_t i = 0; i < kFieldWords.size(); ++i)
    if (word == kFieldWords[i]) {
      out = static_cast<CorrectionField>(i);
      return true;
    }
  return false;
}

std::string CorrectionsHeaderLine() {
  std::string line;
  for (const char* column : kCorrectionColumns) line += (line.empty() ? "" : ",") + std::string(column);
  return line + "\r\n";
}

std::string FormatCorrectionLine(const Correction& c) {
  return CsvText(c.time) + "," + std::to_string(c.plot) + "," + std::to_string(c.tree) + "," +
         std::to_string(c.slot) + "," + CorrectionFieldWord(c.field) + "," + CsvText(c.oldValue) +
         "," + CsvText(c.newValue) + "," + CsvText(c.reason) + "," + CsvText(c.verdict) + "," +
         CsvText(c.suspectKind) + "\r\n";
}

std::string IsoTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return buf;
}

Correction InverseCorrection(const Correction& c, const std::string& time) {
  Correction inverse = c;
  inverse.time = time;
  inverse.oldValue = c.newValue;
  inverse.newValue = c.oldValue;
  inverse.reason = "undo";
  inverse.line = 0;
  return inverse;
}

bool ParseCorrections(const std::string& text, const std::string& path,
                      std::vector<Correction>& out, std::string& error) {
  const size_t bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  bool headerSeen = false;
  std::vector<std::string> f;
  const bool whole = ForEachLine(std::string_view(text).substr(bom), [&](std::string_view view,
                                                                          int lineNumber) {
    const std::string line(view);
    const std::string place = LinePlace(path, lineNumber);
    if (!headerSeen) {
      if (line + "\r\n" != CorrectionsHeaderLine()) {
        error = place + ": the header is not \"" +
                CorrectionsHeaderLine().substr(0, CorrectionsHeaderLine().size() - 2) + "\".";
        return false;
      }
      headerSeen = true;
      return true;
    }
    if (line.find_first_not_of(" \t") == std::string::npos) return true;
    if (!quality::SplitCsvLine(line, f)) {
      error = place + ": a quote is not closed.";
      return false;
    }
    if (f.size() != kCorrectionColumns.size()) {
      error = place + ": " + std::to_string(f.size()) + " fields instead of " +
              std::to_string(kCorrectionColumns.size()) + ".";
      return false;
    }
    auto bad = [&](size_t column, const std::string& why) {
      error = place + ", field \"" + kCorrectionColumns[column] + "\": \"" + f[column] + "\" " +
              why + ".";
      return false;
    };
    Correction c;
    c.line = lineNumber;
    c.time = f[0];
    if (!IsIsoTime(c.time)) return bad(0, "is not an ISO 8601 time (2026-12-07T03:40:12Z)");
    if (!ParseWhole(f[1], c.plot)) return bad(1, "is not a whole number");
    if (!ParseWhole(f[2], c.tree)) return bad(2, "is not a whole number");
    if (!ParseWhole(f[3], c.slot) || c.slot < 1 || c.slot > kFileSlots)
      return bad(3, "is not a slot from 1 to 5");
    if (!ParseCorrectionField(f[4], c.field))
      return bad(4, "is not one of tree, distance, azimuth, sighting");
    c.oldValue = f[5];
    c.newValue = f[6];
    c.reason = f[7];
    c.verdict = f[8];
    c.suspectKind = f[9];
    Values v;
    const char* column = "";
    std::string why;
    if (!ParseValues(c, v, column, why)) return bad(std::string(column) == "old" ? 5 : 6, why);
    quality::Verdict verdict;
    if (!c.verdict.empty() && !quality::ParseVerdict(c.verdict, verdict))
      return bad(8, "is not a verdict of quality.csv");
    quality::SuspectKind kind;
    if (!c.suspectKind.empty() && !quality::ParseSuspectKind(c.suspectKind, kind))
      return bad(9, "is not a suspect kind of quality.csv");
    out.push_back(c);
    return true;
  });
  if (!whole) return false;
  if (!headerSeen) {
    error = LinePlace(path, 1) + ": the file is empty; it needs its header line.";
    return false;
  }
  return true;
}

bool ReadCorrectionsFile(const std::string& path, std::vector<Correction>& out,
                         std::string& error) {
  std::string text, reason;
  if (!ReadWholeFile(path, text, reason)) {
    error = "The corrections file \"" + path + "\" cannot be read: " + reason + ".";
    return false;
  }
  try {
    return ParseCorrections(text, path, out, error);
  } catch (const std::bad_alloc&) {
    out.clear();
    error = "The corrections file \"" + path + "\" cannot be read: out of memory.";
    return false;
  }
}

bool AppendCorrectionLine(const std::string& path, const Correction& c, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = "The corrections file \"" + path + "\" cannot be opened: " + std::strerror(errno) + ".";
    return false;
  }
  struct stat st {};
  std::string text;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error = "The corrections file \"" + path + "\" is not a plain file.";
    return false;
  }
  if (st.st_size == 0) {
    text = CorrectionsHeaderLine();
  } else {
    char last = '\n';
    if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') text = "\r\n";
  }
  text += FormatCorrectionLine(c);
  // One write of the whole line; a short write is cut back so the file
  // never ends in half a line.
  const ssize_t n = ::write(fd, text.data(), text.size());
  bool ok = n == static_cast<ssize_t>(text.size());
  const std::string reason = n < 0 ? std::strerror(errno) : "the disk is full";
  if (!ok && n > 0) {
    const int cut = ::ftruncate(fd, st.st_size);
    static_cast<void>(cut);
  }
  if (ok) ok = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  if (!ok) error = "The corrections file \"" + path + "\" could not be written: " + reason + ".";
  return ok;
}

bool RecordCorrection(const std::string& folder, const Correction& c, std::string& error) {
  FolderLock lock;
  std::string detail;
  switch (lock.Acquire(folder, detail)) {
    case FolderLock::Result::Locked: break;
    case FolderLock::Result::Busy:
      error = "The folder \"" + folder + "\" is in use (" + detail +
              "): the correction is not recorded.";
      return false;
    case FolderLock::Result::Failed:
      error = "The lock file " + detail + ": the correction is not recorded.";
      return false;
  }
  return AppendCorrectionLine(folder + kCorrectionsFileName, c, error);
}

bool ApplyCorrection(InputData& input, const Correction& c, const std::string& path, int& record,
                     std::string& error) {
  const PlotTreeIndex index(input.PhotoTrees);
  return ApplyWithIndex(input, c, path, index, record, error);
}

bool ApplyCorrections(InputData& input, const std::vector<Correction>& corrections,
                      const std::string& path, std::string& error) {
  const PlotTreeIndex index(input.PhotoTrees);
  // All lines or none: a refused line leaves the records as they were.
  Table<TargetTree> before = input.TargetTrees;
  for (const Correction& c : corrections) {
    int record = 0;
    if (!ApplyWithIndex(input, c, path, index, record, error)) {
      input.TargetTrees = std::move(before);
      return false;
    }
  }
  input.CorrectionsFileName = path;
  input.CorrectionsApplied = static_cast<int>(corrections.size());
  return true;
}

bool UseCorrectionsFile(InputData& input, const std::string& path, std::string& error,
                        std::vector<Correction>* linesRead) {
  std::string text, reason;
  if (!ReadWholeFile(path, text, reason)) {
    error = "The corrections file \"" + path + "\" cannot be read: " + reason + ".";
    return false;
  }
  std::vector<Correction> lines;
  try {
    if (!ParseCorrections(text, path, lines, error)) return false;
  } catch (const std::bad_alloc&) {
    error = "The corrections file \"" + path + "\" cannot be read: out of memory.";
    return false;
  }
  if (!ApplyCorrections(input, lines, path, error)) return false;
  input.CorrectionsFacts = FactsOfContent(path, text);
  if (linesRead) *linesRead = std::move(lines);
  return true;
}

std::string CorrectedSightingName(const std::string& folder, const std::string& sightingPath) {
  const size_t slash = sightingPath.find_last_of('/');
  std::string name = slash == std::string::npos ? sightingPath : sightingPath.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return folder + name + ".corrected.txt";
}

std::string CorrectedSightingText(const InputData& input) {
  std::string text;
  const int n = input.TargetTreeCount < input.TargetTrees.Size() ? input.TargetTreeCount
                                                                 : input.TargetTrees.Size();
  for (int i = 1; i <= n; ++i) text += SightingRecordLine(input.TargetTrees[i]);
  return text;
}

}  // namespace treetri
