#include "fuzz/fuzz_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "data/field_reader.h"

namespace treetri::fuzz {

void Violated(const char* condition, const std::string& detail, const char* file, int line) {
  std::fprintf(stderr, "\n*** property violated at %s:%d: %s\n*** %s\n", file, line, condition,
               detail.c_str());
  std::fflush(stderr);
  std::abort();
}

namespace {
void CleanFolder(const std::string& dir);
}  // namespace

const std::string& WorkFolder() {
  static const std::string folder = [] {
    // Shared memory when there is some: the targets write many small files.
    std::string base = "/tmp";
    struct stat st;
    if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0)
      base = "/dev/shm";
    std::string pattern = base + "/treetri-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
      std::perror("mkdtemp");
      std::abort();
    }
    // Removed at exit (not after a crash, which leaves it for a look).
    static char made[256];
    std::snprintf(made, sizeof made, "%s", pattern.c_str());
    std::atexit([] {
      CleanFolder(std::string(made) + "/");
      ::rmdir(made);
    });
    return pattern + "/";
  }();
  return folder;
}

namespace {

void CleanFolder(const std::string& dir) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = dir + name;
    if (::unlink(path.c_str()) != 0) ::rmdir(path.c_str());
  }
  ::closedir(d);
}

}  // namespace

void CleanWorkFolder() { CleanFolder(WorkFolder()); }

std::string WriteWorkFile(const std::string& name, const std::string& content) {
  const std::string path = WorkFolder() + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return path;
}

bool ReadWorkFile(const std::string& name, std::string& content) {
  std::ifstream in(WorkFolder() + name, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  content = s.str();
  return true;
}

std::vector<std::string> SplitParts(const std::uint8_t* data, std::size_t size, int n) {
  std::vector<std::string> parts;
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == kPartSeparator && static_cast<int>(parts.size()) + 1 < n) {
      parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  parts.push_back(current);
  return parts;
}

std::string DefaultMap() {
  return "1,1,1,1.20,0.40,0,12.5,3.1,25,0,0,0,0,AER,0,\"pine, 12.5 m\",0\r\n"
         "1,2,2,-1.50,2.10,0,14.0,3.5,28,0,0,0,0,AER,0,spruce,1\r\n"
         "1,3,1,-2.00,-1.80,0,9.5,2.2,18,0,0,0,0,AER,0,pine,0\r\n"
         "1,4,1,2.50,-2.20,0,11.0,2.9,22,0,0,0,0,AER,0,pine,0\r\n"
         "1,5,3,0.30,3.00,0,16.5,4.0,31,0,0,0,0,AER,0,birch,2\r\n"
         "1,6,2,-3.10,0.20,0,13.0,3.3,26,0,0,0,0,AER,0,spruce,0\r\n"
         "2,1,1,100.00,100.00,0,10.0,2.0,20,0,0,0,0,AER,0,pine,0\r\n";
}

std::string DefaultSightings() {
  return "1,101,1,4,1,1.253,61.39,2,2.802,325.176,3,2.64,232.696,4,3.124,129.806,0,-1,-1\r\n"
         "1,102,2,3,1,-1,125.538,2,-1,300.964,3,-1,222.797,0,-1,-1,0,-1,-1\r\n"
         "1,103,1,5,2,1.97,336.038,5,2.879,-1,6,-1,267.614,3,2.47,211.759,4,-1,127.999\r\n"
         "1,104,1,1,1,1.903,86.987,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1\r\n"
         "1,105,2,2,7,2.0,10.0,1,0.86,125.538,0,-1,-1,0,-1,-1,0,-1,-1\r\n"
         "1,106,1,0,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1\r\n";
}

std::string DefaultParameters() {
  return "Results file name\r\nresults.txt\r\n"
         "Number of simulated plots\r\n1\r\n"
         "Azimuth correction in degrees\r\n0\r\n"
         "Origin X Y\r\n0, 0\r\n"
         "Standard errors of the map coordinates\r\n0.3, 0.3\r\n"
         "Number of rows below\r\n2\r\n"
         "Plot centres\r\n0, 0\r\n100, 100\r\n"
         "Made by\r\nhand\r\n"
         "Plot radius\r\n10\r\n"
         "Least number of map trees\r\n6\r\n"
         "Largest number of map trees\r\n6\r\n"
         "Map error\r\n0.1\r\n"
         "Seed\r\n1\r\n"
         "Missing share\r\n0\r\n"
         "Standard error of a distance\r\n0.05\r\n"
         "Azimuth error\r\n1\r\n"
         "Standard error of an azimuth in radians\r\n0.0175\r\n"
         "Gross errors\r\n0\r\n";
}

int ExpectedSlots(int npa) { return npa >= 1 && npa <= kSlotCount ? npa : 0; }

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

std::vector<std::string> Split(const std::string& s, const std::string& sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = s.find(sep, start);
    if (end == std::string::npos) {
      out.push_back(s.substr(start));
      return out;
    }
    out.push_back(s.substr(start, end - start));
    start = end + sep.size();
  }
}

// The lines of a file written by the program: every line ends with CR LF,
// so the text ends with one (or is empty) and holds no other line end.
std::vector<std::string> Lines(const std::string& where, const std::string& text) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  FUZZ_CHECK(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0,
             where + " does not end with a complete line: " +
                 Quote(text.substr(text.size() > 60 ? text.size() - 60 : 0)));
  lines = Split(text.substr(0, text.size() - 2), "\r\n");
  for (const std::string& l : lines)
    FUZZ_CHECK(l.find_first_of("\r\n") == std::string::npos,
               where + " has a stray line end in " + Quote(l));
  return lines;
}

// An integer field, or a number with exactly `decimals` decimals, or "-999"
// when `missingAllowed`.
bool NumberForm(const std::string& f, int decimals, bool missingAllowed) {
  if (missingAllowed && f == "-999") return true;
  std::size_t i = 0;
  if (i < f.size() && f[i] == '-') ++i;
  std::size_t digits = 0;
  while (i < f.size() && f[i] >= '0' && f[i] <= '9') ++i, ++digits;
  if (digits == 0) return false;
  if (decimals == 0) return i == f.size();
  if (i >= f.size() || f[i] != '.') return false;
  ++i;
  std::size_t decs = 0;
  while (i < f.size() && f[i] >= '0' && f[i] <= '9') ++i, ++decs;
  if (i != f.size() || static_cast<int>(decs) != decimals) return false;
  double v;
  return ParseReal(f, v);
}

// Field forms: 'i' integer, '0'..'5' fixed with that many decimals (or
// "-999"), 'b' a flag word.
void CheckFields(const std::string& where, const std::vector<std::string>& fields,
                 std::size_t first, const char* forms) {
  for (std::size_t k = 0; forms[k]; ++k) {
    const std::string& f = fields[first + k];
    const char form = forms[k];
    bool ok;
    if (form == 'i') {
      std::int64_t v;
      ok = ParseInt64(f, v) && f[0] != '+';
    } else if (form == 'b') {
      ok = f == "True" || f == "False";
    } else {
      ok = NumberForm(f, form - '0', true);
    }
    FUZZ_CHECK(ok, where + ", field " + std::to_string(first + k + 1) + " " + Quote(f) +
                       " is not of form '" + std::string(1, form) + "'");
  }
}

const char* const kCaseForms = "iiiii22223224ii";
const char* const kSlotForms = "ii222243b42b44";

}  // namespace

void CheckTables(const Tables& t) {
  FUZZ_CHECK(t.TargetTreeCount >= 0 && t.TargetTreeCount <= kMaxTargetTrees &&
                 t.TargetTreeCount <= t.TargetTrees.Size(),
             "TargetTreeCount " + std::to_string(t.TargetTreeCount) + ", table size " +
                 std::to_string(t.TargetTrees.Size()));
  FUZZ_CHECK(t.TargetTrees.Size() == 0 || t.TargetTrees.Size() == kMaxTargetTrees,
             "TargetTrees has " + std::to_string(t.TargetTrees.Size()) + " records");
  for (int i = 1; i <= t.PhotoTrees.Size(); ++i) {
    const PhotoTree& p = t.PhotoTrees[i];
    for (double v : {p.X, p.Y, p.Z, p.Value7, p.Value8, p.Value9, p.Value10})
      FUZZ_CHECK(std::isfinite(v), "map record " + std::to_string(i) + " holds a non-finite value");
  }
  for (int i = 1; i <= t.TargetTreeCount; ++i) {
    const TargetTree& r = t.TargetTrees[i];
    int az = 0, dist = 0;
    const int filled = r.NPA < kFileSlots ? r.NPA : kFileSlots;
    for (int k = 1; k <= kSlotCount; ++k) {
      if (IsTrue(r.HasAzimuth[k])) ++az;
      if (IsTrue(r.HasDistance[k])) ++dist;
      FUZZ_CHECK(r.HasAzimuth[k] == kTrue || r.HasAzimuth[k] == kFalse, "flag value");
      FUZZ_CHECK(r.HasDistance[k] == kTrue || r.HasDistance[k] == kFalse, "flag value");
      if (k > filled)
        FUZZ_CHECK(!IsTrue(r.HasAzimuth[k]) && !IsTrue(r.HasDistance[k]),
                   "record " + std::to_string(i) + " slot " + std::to_string(k) +
                       " beyond NPA has a flag");
      if (IsTrue(r.HasAzimuth[k])) FUZZ_CHECK(r.Azimuth[k] > -1, "azimuth flag without azimuth");
      if (IsTrue(r.HasDistance[k]))
        FUZZ_CHECK(r.Distance[k] > -1, "distance flag without distance");
      for (double v : {r.Azimuth[k], r.Distance[k], r.Sighted[k].X, r.Sighted[k].Y,
                       r.Sighted[k].Z})
        FUZZ_CHECK(std::isfinite(v), "record " + std::to_string(i) + " holds a non-finite value");
    }
    FUZZ_CHECK(az == r.AzimuthCount && dist == r.DistanceCount,
               "record " + std::to_string(i) + ": counts " + std::to_string(r.AzimuthCount) + "/" +
                   std::to_string(r.DistanceCount) + ", flags " + std::to_string(az) + "/" +
                   std::to_string(dist));
  }
}

void CheckNoNonFiniteWords(const std::string& where, const std::string& text) {
  std::string lower = text;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  FUZZ_CHECK(lower.find("nan") == std::string::npos && lower.find("inf") == std::string::npos,
             where + " holds \"nan\" or \"inf\"");
}

void CheckResultsFile(const Tables& t, const std::string& text, int cases) {
  CheckNoNonFiniteWords("the results file", text);
  const std::vector<std::string> lines = Lines("the results file", text);
  if (cases == 0) {
    FUZZ_CHECK(lines.empty(), "a run without cases left lines in the results file");
    return;
  }
  FUZZ_CHECK(static_cast<int>(lines.size()) == cases + 1,
             "the results file has " + std::to_string(lines.size()) + " lines for " +
                 std::to_string(cases) + " cases");
  const int headerSlots = ExpectedSlots(t.TargetTrees[1].NPA);
  const std::vector<std::string> header = Split(lines[0], ",");
  FUZZ_CHECK(static_cast<int>(header.size()) == 15 + 14 * headerSlots + 1,
             "the header has " + std::to_string(header.size()) + " fields for " +
                 std::to_string(headerSlots) + " slots");
  FUZZ_CHECK(header.back() == "TypeOfIni", "the header ends with " + Quote(header.back()));
  for (int k = 1; k <= cases; ++k) {
    const std::string where = "results line of case " + std::to_string(k);
    const std::vector<std::string> f = Split(lines[static_cast<std::size_t>(k)], ",");
    const int slots = ExpectedSlots(t.TargetTrees[k].NPA);
    FUZZ_CHECK(static_cast<int>(f.size()) == 15 + 14 * slots + 1,
               where + " has " + std::to_string(f.size()) + " fields for NPA " +
                   std::to_string(t.TargetTrees[k].NPA));
    CheckFields(where, f, 0, kCaseForms);
    FUZZ_CHECK(f[0] == std::to_string(k), where + " begins with " + Quote(f[0]));
    FUZZ_CHECK(f[13] == std::to_string(t.TargetTrees[k].NPA), where + ": NPA " + Quote(f[13]));
    for (int j = 0; j < slots; ++j) CheckFields(where, f, 15 + 14 * static_cast<std::size_t>(j), kSlotForms);
    const std::string& type = f.back();
    FUZZ_CHECK(type == "POLAR   " || type == "INTERSEC" || type == "NONE    ",
               where + " ends with " + Quote(type));
  }
}

void CheckMapData(const Tables& t, const std::string& text, int cases) {
  CheckNoNonFiniteWords("mapdata.txt", text);
  const std::vector<std::string> lines = Lines("mapdata.txt", text);
  FUZZ_CHECK(static_cast<int>(lines.size()) == cases,
             "mapdata.txt has " + std::to_string(lines.size()) + " lines for " +
                 std::to_string(cases) + " cases");
  for (int k = 1; k <= cases; ++k) {
    const std::string where = "mapdata line of case " + std::to_string(k);
    const std::vector<std::string> f = Split(lines[static_cast<std::size_t>(k - 1)], ",");
    const int slots = ExpectedSlots(t.TargetTrees[k].NPA);
    FUZZ_CHECK(static_cast<int>(f.size()) == 10 + 2 * slots + 1 && f.back().empty(),
               where + " has " + std::to_string(f.size()) + " fields for NPA " +
                   std::to_string(t.TargetTrees[k].NPA));
    std::string forms = "0022555555" + std::string(2 * static_cast<std::size_t>(slots), '2');
    CheckFields(where, f, 0, forms.c_str());
    for (std::size_t i = 4; i < 10; ++i)
      FUZZ_CHECK(f[i] == "0.00000", where + ": reserved value " + Quote(f[i]));
  }
}

void CheckList(const Tables& t, const std::vector<std::string>& list, int cases) {
  FUZZ_CHECK(static_cast<int>(list.size()) == cases + 1,
             "the list has " + std::to_string(list.size()) + " lines for " +
                 std::to_string(cases) + " cases");
  for (int k = 1; k <= cases; ++k) {
    const std::string& line = list[static_cast<std::size_t>(k)];
    const std::string where = "list line of case " + std::to_string(k);
    CheckNoNonFiniteWords(where, line);
    const std::vector<std::string> p = Split(line, ", ");
    FUZZ_CHECK(p.size() == 10, where + " has " + std::to_string(p.size()) + " parts: " + Quote(line));
    CheckFields(where, p, 0, "iiii22322");
    FUZZ_CHECK(p[0] == std::to_string(k), where + " begins with " + Quote(p[0]));
    const std::string& s = p[9];
    const bool known =
        s == " OK " || s == " ? " || s == "UNCHECKED" ||
        (s.rfind("???? Point ", 0) == 0 && s.size() > 22 &&
         s.compare(s.size() - 11, 11, " erroneous?") == 0) ||
        s == "FAILED: NPA" || s == "FAILED: coincident point" || s == "FAILED: singular" ||
        s == "FAILED: too many rows" || s == "FAILED: not finite";
    FUZZ_CHECK(known, where + " has the status " + Quote(s));
    const int npa = t.TargetTrees[k].NPA;
    if (npa < 1 || npa > kSlotCount) FUZZ_CHECK(s == "FAILED: NPA", where + ": NPA " + std::to_string(npa));
  }
}

void CheckDumpFile(const std::string& name, const std::string& text) {
  CheckNoNonFiniteWords(name, text);
  for (const std::string& line : Lines(name, text))
    for (const std::string& item : Split(line, " ")) {
      double v;
      FUZZ_CHECK(ParseReal(item, v), name + " holds " + Quote(item) + " in " + Quote(line));
    }
}

void CheckDrawing(const std::vector<DrawOp>& drawing) {
  for (std::size_t i = 0; i < drawing.size(); ++i) {
    const DrawOp& op = drawing[i];
    const bool finite = std::isfinite(op.x1) && std::isfinite(op.y1) && std::isfinite(op.x2) &&
                        std::isfinite(op.y2) && std::isfinite(op.radius) &&
                        std::isfinite(op.state.currentX) && std::isfinite(op.state.currentY);
    FUZZ_CHECK(finite, "drawing operation " + std::to_string(i) + " (kind " +
                           std::to_string(static_cast<int>(op.kind)) + ") at (" +
                           std::to_string(op.x1) + ", " + std::to_string(op.y1) + ") - (" +
                           std::to_string(op.x2) + ", " + std::to_string(op.y2) + ")");
  }
}

}  // namespace treetri::fuzz
