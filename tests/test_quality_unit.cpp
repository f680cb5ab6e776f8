// The two quality files as one unit per case: the writer under a file-size
// limit that strikes between the two files, and the reader of a run stopped
// part-way (a last line cut short, a case with observation lines but no case
// line), of doubled lines and of stray observation lines.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>

#include "core/quality_input.h"
#include "positioning/case_pipeline.h"
#include "positioning/tables.h"
#include "quality/quality_writer.h"
#include "tests/case_builder.h"
#include "tests/support.h"
#include "quality/quality_files.h"
#include "tools/quality_report.h"
#include "views/plot_scene.h"

namespace treetri::quality {
namespace {

using testing::TempFolder;

CaseAssessment Case(int n) {
  CaseAssessment r;
  r.caseNumber = n;
  r.plot = 1;
  r.tree = 100 + n;
  r.verdict = Verdict::Ok;
  return r;
}

ObservationAssessment Observation(int n, int slot) {
  return ObservationAssessment{n, 1, 100 + n, slot, slot, ObservationKind::Distance, 5, 5, 0, 0.05, 0.5,
                        0.1, 0.0, 0.3, Control::Controlled, {}, {}};
}

// Case n's two observation lines.
std::string ObservationLines(int n) {
  return FormatObservationLine(Observation(n, 1)) + FormatObservationLine(Observation(n, 2));
}

// The two files of cases 1..n, each case with two observation lines.
void WriteRun(const TempFolder& dir, int n, std::string extraCases = "",
              std::string extraObservations = "") {
  std::string q = QualityHeaderLine(), o = ObservationHeaderLine();
  for (int c = 1; c <= n; ++c) {
    q += FormatQualityLine(Case(c));
    o += ObservationLines(c);
  }
  dir.Write(kQualityFileName, q + extraCases);
  dir.Write(kObservationsFileName, o + extraObservations);
}

FileReadStatus Read(const TempFolder& dir, QualityRunFiles& run) {
  return ReadQualityRun(dir.WorkFolder() + kQualityFileName, dir.WorkFolder() + kObservationsFileName,
                        false, run);
}

// A run of three cases read whole, and killed while it wrote case 4: between
// the two files (case 4's observation lines, no case line), inside an
// observation line of case 4, inside the case line of case 4 after its
// observation lines. The reader keeps the three cases and warns.
TEST(QualityRun, AStoppedRunLeavesOutItsLastCaseWithAWarning) {
  const std::string four = ObservationLines(4), line4 = FormatQualityLine(Case(4));
  const struct {
    std::string cases, observations;
    std::vector<std::string> warnings;  // what each warning holds
  } stops[] = {{"", "", {}},
               {"", four, {"holds case 4 from line 8 on"}},
               {"", four.substr(0, four.size() - 9), {"ends inside line 9", "holds case 4"}},
               {line4.substr(0, 10), four, {"quality.csv\" ends inside line 5", ""}}};
  TempFolder dir;
  QualityRunFiles run;
  for (const auto& stop : stops) {
    SCOPED_TRACE(stop.warnings.empty() ? "whole" : stop.warnings[0]);
    WriteRun(dir, 3, stop.cases, stop.observations);
    ASSERT_TRUE(Read(dir, run).ok);
    EXPECT_EQ(run.cases.size(), 3u);
    EXPECT_EQ(run.observations.size(), 6u);
    ASSERT_EQ(run.warnings.size(), stop.warnings.size());
    for (size_t k = 0; k < run.warnings.size(); ++k)
      EXPECT_NE(run.warnings[k].find(stop.warnings[k]), std::string::npos) << run.warnings[k];
    // The quality report and the plot map read the files through their own
    // loaders: the same three cases, each with its two observations, and the
    // same warnings (not an error that would leave their tables empty).
    tools::QualityFileContents report;
    std::string error;
    ASSERT_TRUE(tools::ReadQualityFiles(dir.WorkFolder(), report, error)) << error;
    EXPECT_EQ(std::make_pair(report.cases.size(), report.observations.size()),
              std::make_pair(size_t{3}, size_t{6}));
    EXPECT_EQ(report.warnings, run.warnings);
    views::CaseResults map;
    std::vector<std::string> shown;
    ASSERT_TRUE(map.Load(dir.WorkFolder() + kQualityFileName,
                         dir.WorkFolder() + kObservationsFileName, error, &shown))
        << error;
    ASSERT_EQ(map.Cases().size(), 3u);
    for (const CaseQuality& c : map.Cases()) EXPECT_EQ(c.observations.size(), 2u);
    EXPECT_EQ(shown, run.warnings);
  }
}

// Every case line doubled (240 lines for 120 cases); a whole observations
// file appended to itself; an observation line of a case quality.csv lacks,
// before the last case.
TEST(QualityRun, DoubledAndStrayLinesAreErrorsNamingTheLine) {
  TempFolder dir;
  std::string doubled;
  for (int c = 1; c <= 120; ++c) doubled += FormatQualityLine(Case(c)) + FormatQualityLine(Case(c));
  const struct {
    int cases;
    std::string extraCases, extraObservations;
    int line;
    std::string message;
  } runs[] = {{0, doubled, "", 3, "case 1 is given twice, on line 2 and on this line"},
              {2, "", ObservationLines(1) + ObservationLines(2), 6,
               "the lines of case 1 are given again (first on line 2)"},
              {2, "", FormatObservationLine(Observation(9, 1)) + FormatObservationLine(Observation(3, 1)), 6,
               "case 9 is not in " + dir.WorkFolder() + kQualityFileName}};
  for (const auto& r : runs) {
    WriteRun(dir, r.cases, r.extraCases, r.extraObservations);
    QualityRunFiles run;
    const FileReadStatus s = Read(dir, run);
    EXPECT_EQ(std::tuple(s.ok, s.line, s.message), std::tuple(false, r.line, r.message));
  }
}

const std::vector<testing::MapPoint> kMap = {{1, 10, 0}, {2, 0, 10}, {3, -10, -2}};

// A case that sights the three trees of kMap, or (npa 0) none.
void AddCase(Tables& t, bool observed) {
  std::vector<testing::Sighting> slots;
  for (const testing::MapPoint& m : kMap)
    if (observed) slots.push_back(testing::Sight(m.tree, 0.5, 0.5, m.x, m.y));
  testing::AddTarget(t, 1, 1000 + t.TargetTreeCount + 1, static_cast<int>(slots.size()), slots, kMap);
}

// A file-size limit that quality.csv reaches while observations.csv still
// has room (cases without observation lines between ordinary ones): both
// files still end on the same whole case, and the summary counts the cases
// the files hold.
TEST(QualityRun, BothFilesEndOnTheSameCaseUnderAFileSizeLimit) {
  TempFolder dir;
  Tables t;
  for (const testing::MapPoint& m : kMap) {
    PhotoTree p;
    p.Plot = 1;
    p.Tree = m.tree;
    p.X = m.x;
    p.Y = m.y;
    t.PhotoTrees.Append(p);
  }
  for (int k = 0; k < 633; ++k) AddCase(t, k < 3 || k >= 603);
  testing::SetParameters(t, testing::Parameters{});
  const std::string folder = dir.WorkFolder();
  constexpr long kLimit = 16 * 1024;
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    QualityRun run;
    std::string error;
    if (!run.Begin(folder, error)) ::_exit(2);
    const rlimit l{kLimit, kLimit};
    if (::setrlimit(RLIMIT_FSIZE, &l) != 0) ::_exit(3);
    // Three ordinary cases, cases without observation lines until
    // quality.csv is near the limit, then ordinary ones again.
    int failedAt = 0;
    const PlotMaps maps(t.PhotoTrees);
    auto add = [&](int c) {
      const CaseInput in = QualityCaseInput(ComputeCase(t, c), t, maps, " OK ");
      if (!run.AddCase(in, error)) failedAt = c;
    };
    for (int c = 1; c <= 3; ++c) add(c);
    for (int c = 4; c <= 603 && std::filesystem::file_size(folder + kQualityFileName) < kLimit - 1500; ++c)
      add(c);
    for (int c = 604; c <= 633 && !failedAt; ++c) add(c);
    run.End();
    int counted = 0;
    for (int v : run.Summary().verdicts) counted += v;
    // Report through the exit status: the counted cases, or 255 when the
    // limit did not strike at an ordinary case after the others.
    ::_exit(failedAt > 603 ? counted % 250 : 255);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_NE(WEXITSTATUS(status), 255) << "the limit did not strike between the two files";
  QualityRunFiles run;
  const FileReadStatus s = Read(dir, run);
  ASSERT_TRUE(s.ok) << s.message;
  EXPECT_TRUE(run.warnings.empty()) << run.warnings[0];
  ASSERT_FALSE(run.observations.empty());
  EXPECT_EQ(run.observations.back().caseNumber, run.cases.back().caseNumber);
  EXPECT_EQ(static_cast<int>(run.cases.size()) % 250, WEXITSTATUS(status));
}

}  // namespace
}  // namespace treetri::quality
