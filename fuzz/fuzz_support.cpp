#include "fuzz/fuzz_support.h"

#include "core/run.h"
#include "data/parameter_file.h"
#include "output/dump_files.h"
#include "output/output_check.h"
#include "output/results_format.h"
#include "platform/files.h"
#include "platform/text.h"
#include "quality/network_files.h"
#include "quality/quality_files.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "data/field_reader.h"

namespace treetri::fuzz {

void Violated(const char* condition, const std::string& detail, const char* file, int line) {
  std::fprintf(stderr, "\n*** property violated at %s:%d: %s\n*** %s\n", file, line, condition,
               detail.c_str());
  std::fflush(stderr);
  std::abort();
}

const std::string& WorkFolder() {
  static const std::string folder = [] {
    // Shared memory when there is some: the targets write many small files.
    const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/treetri-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
      std::perror("mkdtemp");
      std::abort();
    }
    // Removed at exit (not after a crash, which leaves it for a look).
    static const std::string made = pattern;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(made, ec);
    });
    return pattern + "/";
  }();
  return folder;
}

void CleanWorkFolder() {
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(WorkFolder(), ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
    std::filesystem::remove_all(it->path(), ec);
}

namespace {

bool ResultsNameIsSafe(const std::string& name) {
  if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
    return false;
  for (const char* own :
       {kParameterFileName, kMapDataFileName, kDumpAFileName, kDumpLFileName, kDumpWeightsFileName,
        kDumpMatlabFileName, quality::kQualityFileName, quality::kObservationsFileName,
        quality::kPlotsFileName, quality::kMapTreesFileName, "map.txt", "sightings.txt", "run.json",
        "treetri.lock"})
    if (name == own) return false;
  return true;
}

}  // namespace

bool PrepareRun(const std::uint8_t* data, std::size_t size, RunInputs& out) {
  CleanWorkFolder();
  const std::vector<std::string> parts = SplitParts(data, size, 3);
  out.map = parts.size() > 0 && !parts[0].empty() ? parts[0] : DefaultMap();
  out.sightings = parts.size() > 1 ? parts[1] : DefaultSightings();
  WriteWorkFile(kParameterFileName, parts.size() > 2 ? parts[2] : DefaultParameters());
  Tables probe;
  probe.WorkFolder = WorkFolder();
  HeadlessUi quiet;
  ReadRunParameters(probe, quiet);
  return ResultsNameIsSafe(probe.Parameters.ResultsFileName);
}

InWorkFolder::InWorkFolder() {
  char buf[4096];
  if (::getcwd(buf, sizeof buf)) before_ = buf;
  FUZZ_CHECK(::chdir(WorkFolder().c_str()) == 0, "cannot enter the work folder");
}

InWorkFolder::~InWorkFolder() {
  if (!before_.empty() && ::chdir(before_.c_str()) != 0) std::abort();
}

std::string WriteWorkFile(const std::string& name, const std::string& content) {
  const std::string path = WorkFolder() + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return path;
}

bool ReadWorkFile(const std::string& name, std::string& content) {
  std::string error;
  return ReadWholeFile(WorkFolder() + name, content, error);
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
  ParameterFileTexts f = DefaultParameterTexts();
  f.Item(12) = "2";
  f.blockRows = {"0, 0", "100, 100"};
  return ParameterFileText(f);
}

namespace {

std::string Join(const std::vector<std::string>& problems) {
  std::string out;
  for (const std::string& p : problems) out += "\n  " + p;
  return out;
}

// A results-list line: its parts in their forms, a status the program writes.
std::vector<std::string> CheckListLine(const std::string& line) {
  std::vector<std::string> problems;
  NoNonFiniteWords("the line", line, problems);
  const std::vector<std::string> p = SplitAt(line, kListSeparator);
  if (p.size() != static_cast<size_t>(kListParts))
    return {"the line has " + std::to_string(p.size()) + " parts: " + QuotedText(line)};
  CheckFields("the line", p, 0, kListForms, problems);
  const std::string& s = p[kListParts - 1];
  const std::string point = std::string(kStatusErroneous) + " Point ", erroneous = " erroneous?";
  bool known = s == kStatusOk || s == kStatusDoubtful || s == kStatusUnchecked ||
               (s.rfind(point, 0) == 0 && s.size() > point.size() + erroneous.size() &&
                s.compare(s.size() - erroneous.size(), erroneous.size(), erroneous) == 0);
  for (CaseFailure f : kFailures) known = known || s == kStatusFailed + std::string(FailureReason(f));
  if (!known) problems.push_back("the status " + QuotedText(s) + " is not one of the program's");
  return problems;
}

// A dump file: whole lines of numbers separated by blanks.
std::vector<std::string> CheckDumpText(const std::string& text) {
  std::vector<std::string> problems;
  NoNonFiniteWords("the text", text, problems);
  const std::vector<std::string> lines = WrittenLines(text, problems);
  for (size_t k = 0; k < lines.size(); ++k)
    for (const std::string& item : SplitAt(lines[k], " ")) {
      double v;
      if (!ParseReal(item, v))
        problems.push_back("line " + std::to_string(k + 1) + ": " + QuotedText(item) + " is no number");
    }
  return problems;
}

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

// The file's own form, then what the tables say of it: one line per case
// (after the header) and each line's NPA that of its field tree.
void CheckResultsFile(const Tables& t, const std::string& text, int cases) {
  const std::vector<std::string> problems = CheckResultsText(text);
  FUZZ_CHECK(problems.empty(), "the results file:" + Join(problems));
  const std::vector<std::string> lines = SplitAt(text, "\r\n");
  FUZZ_CHECK(static_cast<int>(lines.size()) == (cases == 0 ? 1 : cases + 2),
             "the results file has " + std::to_string(lines.size() - 1) + " lines for " +
                 std::to_string(cases) + " cases");
  if (cases == 0) return;
  const size_t headerFields = SplitAt(lines[0], ",").size();
  FUZZ_CHECK(static_cast<int>(headerFields) == ResultsFieldCount(ResultsSlotCount(t.TargetTrees[1].NPA)),
             "the header does not fit case 1");
  for (int k = 1; k <= cases; ++k)
    FUZZ_CHECK(SplitAt(lines[static_cast<size_t>(k)], ",")[kFieldNPA] == std::to_string(t.TargetTrees[k].NPA),
               "results line of case " + std::to_string(k) + ": NPA");
}

void CheckMapData(const Tables& t, const std::string& text, int cases) {
  const std::vector<std::string> problems = CheckMapDataText(text);
  FUZZ_CHECK(problems.empty(), "mapdata.txt:" + Join(problems));
  const std::vector<std::string> lines = SplitAt(text, "\r\n");
  FUZZ_CHECK(static_cast<int>(lines.size()) == cases + 1,
             "mapdata.txt has " + std::to_string(lines.size() - 1) + " lines for " +
                 std::to_string(cases) + " cases");
  for (int k = 1; k <= cases; ++k)
    FUZZ_CHECK(static_cast<int>(SplitAt(lines[static_cast<size_t>(k - 1)], ",").size()) ==
                   MapDataFieldCount(ResultsSlotCount(t.TargetTrees[k].NPA)) + 1,
               "mapdata line of case " + std::to_string(k) + " does not fit its NPA");
}

void CheckList(const Tables& t, const std::vector<std::string>& list, int cases) {
  FUZZ_CHECK(static_cast<int>(list.size()) == cases + 1,
             "the list has " + std::to_string(list.size()) + " lines for " +
                 std::to_string(cases) + " cases");
  for (int k = 1; k <= cases; ++k) {
    const std::string& line = list[static_cast<size_t>(k)];
    const std::vector<std::string> problems = CheckListLine(line);
    FUZZ_CHECK(problems.empty(), "list line of case " + std::to_string(k) + ":" + Join(problems));
    FUZZ_CHECK(line.rfind(std::to_string(k) + ", ", 0) == 0, "list line " + std::to_string(k));
    const int npa = t.TargetTrees[k].NPA;
    const std::string npaFailed = std::string(kStatusFailed) + FailureReason(CaseFailure::Npa);
    if (ResultsSlotCount(npa) == 0)
      FUZZ_CHECK(line.size() >= npaFailed.size() &&
                     line.compare(line.size() - npaFailed.size(), npaFailed.size(), npaFailed) == 0,
                 "list line of case " + std::to_string(k) + ": NPA " + std::to_string(npa));
  }
}

void CheckDumpFile(const std::string& name, const std::string& text) {
  const std::vector<std::string> problems = CheckDumpText(text);
  FUZZ_CHECK(problems.empty(), name + ":" + Join(problems));
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
