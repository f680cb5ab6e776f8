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

// The two files of cases 1..n, each case with two observation lines.
void WriteRun(const TempFolder& dir, int n, std::string extraCases = "",
              std::string extraObservations = "") {
  std::string q = QualityHeaderLine(), o = ObservationHeaderLine();
  for (int c = 1; c <= n; ++c) {
    q += FormatQualityLine(Case(c));
    o += FormatObservationLine(Observation(c, 1)) + FormatObservationLine(Observation(c, 2));
  }
  dir.Write(kQualityFileName, q + extraCases);
  dir.Write(kObservationsFileName, o + extraObservations);
}

FileReadStatus Read(const TempFolder& dir, QualityRunFiles& run) {
  return ReadQualityRun(dir.WorkFolder() + kQualityFileName, dir.WorkFolder() + kObservationsFileName,
                        false, run);
}

TEST(QualityRun, AStoppedRunLeavesOutItsLastCaseWithAWarning) {
  TempFolder dir;
  QualityRunFiles run;
  WriteRun(dir, 3);
  ASSERT_TRUE(Read(dir, run).ok);
  EXPECT_EQ(run.cases.size(), 3u);
  EXPECT_EQ(run.observations.size(), 6u);
  EXPECT_TRUE(run.warnings.empty());

  // Killed between the two files: case 4's observation lines, no case line.
  const std::string four =
      FormatObservationLine(Observation(4, 1)) + FormatObservationLine(Observation(4, 2));
  WriteRun(dir, 3, "", four);
  ASSERT_TRUE(Read(dir, run).ok);
  EXPECT_EQ(run.cases.size(), 3u);
  EXPECT_EQ(run.observations.size(), 6u);
  ASSERT_EQ(run.warnings.size(), 1u);
  EXPECT_NE(run.warnings[0].find("holds case 4 from line 8 on"), std::string::npos) << run.warnings[0];

  // Killed inside an observation line of case 4.
  WriteRun(dir, 3, "", four.substr(0, four.size() - 9));
  ASSERT_TRUE(Read(dir, run).ok);
  EXPECT_EQ(run.observations.size(), 6u);
  ASSERT_EQ(run.warnings.size(), 2u);
  EXPECT_NE(run.warnings[0].find("ends inside line 9"), std::string::npos) << run.warnings[0];
  EXPECT_NE(run.warnings[1].find("holds case 4"), std::string::npos) << run.warnings[1];

  // Killed inside the case line of case 4, after its observation lines.
  const std::string line4 = FormatQualityLine(Case(4));
  WriteRun(dir, 3, line4.substr(0, 10), four);
  ASSERT_TRUE(Read(dir, run).ok);
  EXPECT_EQ(run.cases.size(), 3u);
  EXPECT_EQ(run.observations.size(), 6u);
  ASSERT_EQ(run.warnings.size(), 2u);
  EXPECT_NE(run.warnings[0].find("quality.csv\" ends inside line 5"), std::string::npos);

  // The report reads the files the same way (its own test reads through it
  // too); the plot map's reader gives the same cases.
}

TEST(QualityRun, DoubledAndStrayLinesAreErrorsNamingTheLine) {
  TempFolder dir;
  QualityRunFiles run;
  // Every case line doubled (240 lines for 120 cases).
  std::string doubled = QualityHeaderLine();
  for (int c = 1; c <= 120; ++c) doubled += FormatQualityLine(Case(c)) + FormatQualityLine(Case(c));
  dir.Write(kQualityFileName, doubled);
  dir.Write(kObservationsFileName, ObservationHeaderLine());
  FileReadStatus s = Read(dir, run);
  EXPECT_FALSE(s.ok);
  EXPECT_EQ(s.line, 3);
  EXPECT_EQ(s.message, "case 1 is given twice, on line 2 and on this line");

  // A whole observations file appended to itself.
  WriteRun(dir, 2);
  const std::string o = dir.Read(kObservationsFileName);
  dir.Write(kObservationsFileName, o + o.substr(ObservationHeaderLine().size()));
  s = Read(dir, run);
  EXPECT_FALSE(s.ok);
  EXPECT_EQ(s.line, 6);
  EXPECT_EQ(s.message, "the lines of case 1 are given again (first on line 2)");

  // An observation line of a case quality.csv lacks, before the last case.
  WriteRun(dir, 2, "", FormatObservationLine(Observation(9, 1)) +
                           FormatObservationLine(Observation(3, 1)));
  s = Read(dir, run);
  EXPECT_FALSE(s.ok);
  EXPECT_EQ(s.line, 6);
  EXPECT_NE(s.message.find("case 9 is not in"), std::string::npos) << s.message;
}

// A case with observation lines, or (npa 0) without any.
void AddCase(Tables& t, int n, bool observed) {
  using testing::Sight;
  const std::vector<testing::MapPoint> map = {{1, 10, 0}, {2, 0, 10}, {3, -10, -2}};
  if (!observed) {
    testing::AddTarget(t, 1, 1000 + n, 0, {}, map);
    return;
  }
  testing::AddTarget(t, 1, 1000 + n, 3,
                     {Sight(1, 0.5, 0.5, 10, 0), Sight(2, 0.5, 0.5, 0, 10), Sight(3, 0.5, 0.5, -10, -2)},
                     map);
}

// A file-size limit that quality.csv reaches while observations.csv still
// has room (cases without observation lines between ordinary ones): both
// files still end on the same whole case, and the summary counts the cases
// the files hold.
TEST(QualityRun, BothFilesEndOnTheSameCaseUnderAFileSizeLimit) {
  TempFolder dir;
  Tables t;
  for (int k = 1; k <= 3; ++k) {
    PhotoTree p;
    p.Plot = 1;
    p.Tree = k;
    p.X = k == 1 ? 10 : k == 2 ? 0 : -10;
    p.Y = k == 1 ? 0 : k == 2 ? 10 : -2;
    t.PhotoTrees.Append(p);
  }
  for (int k = 0; k < 3; ++k) AddCase(t, t.TargetTreeCount + 1, true);
  for (int k = 0; k < 600; ++k) AddCase(t, t.TargetTreeCount + 1, false);
  for (int k = 0; k < 30; ++k) AddCase(t, t.TargetTreeCount + 1, true);
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
