// Whole runs through real files: a case checked against an independent
// least-squares solution, the run driver's decisions and observers, and the
// start-up routine.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "core/quality_observer.h"
#include "core/startup.h"
#include "data/readers.h"
#include "output/results_writer.h"
#include "platform/feedback.h"
#include "platform/headless_ui.h"
#include "quality/quality_files.h"
#include "core/run.h"
#include "core/run_record.h"
#include "tests/case_builder.h"
#include "tests/independent_lsq.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::MapRecord;
using testing::Sight;
using testing::Sighting;
using testing::SightingRecord;
using testing::SplitFields;
using testing::SplitLines;

// A folder with the three input files and tables that have read them.
struct RunFixture {
  testing::TempFolder dir;
  Tables t;
  HeadlessUi ui;
  testing::Parameters par;

  RunFixture() { par.resultsFile = dir.Path() + "/results.txt"; }
  void Files(const std::string& map, const std::string& sightings) {
    dir.Write("map.txt", map);
    dir.Write("sight.txt", sightings);
    dir.Write(kParameterFileName, testing::ParameterFile(par));
    t.WorkFolder = dir.WorkFolder();
    ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Path() + "/map.txt"));
    ASSERT_TRUE(ReadSightingFile(t, ui, dir.Path() + "/sight.txt"));
    ui.messages.clear();
  }
  std::vector<std::string> Results() { return SplitLines(dir.Read("results.txt")); }
};

constexpr double kDegree = 3.14159265358979323846 / 180;

TEST(WholeCase, AgreesWithAnIndependentSolution) {
  RunFixture f;
  f.par.azimuthCorrection = 1.5;
  // Field tree truly at (2, -1); map trees off by a few cm, small field errors.
  const double tx = 2.0, ty = -1.0;
  std::vector<std::pair<double, double>> truth = {{6.0, 2.0}, {-1.5, 3.0}, {1.0, -6.5}};
  std::vector<std::pair<double, double>> map = {{6.04, 1.97}, {-1.52, 3.05}, {0.97, -6.46}};
  std::vector<Sighting> obs;
  const double errD[] = {0.03, -0.02, 0.04}, errA[] = {0.8, -1.1, 0.6};
  std::string mapText;
  for (int j = 0; j < 3; ++j) {
    Sighting s = Sight(j + 1, tx, ty, truth[j].first, truth[j].second);
    s.distance += errD[j];
    s.azimuth = std::fmod(s.azimuth + errA[j] - 1.5 + 360, 360.0);  // the crew's compass offset
    obs.push_back(s);
    mapText += MapRecord(4, j + 1, 1, map[j].first, map[j].second);
  }
  obs[1].distance = -1;
  f.Files(mapText, SightingRecord(4, 50, 2, 3, obs));
  ASSERT_TRUE(Simulate(f.t, f.ui).completed);
  const double used = f.t.Parameters.AzimuthCorrection;
  EXPECT_TRUE(used >= 1.5 && used < 1.51) << used;
  // The program's order: azimuth and distance per sighting, then X and Y per map tree; it
  // stops when the position moves less than 1 cm.
  std::vector<testing::LsqObservation> lsq;
  for (int j = 0; j < 3; ++j) {
    if (obs[j].azimuth > -1)
      lsq.push_back({testing::LsqObservation::Azimuth, j, (obs[j].azimuth + used) * kDegree, f.par.sigmaAzimuth});
    if (obs[j].distance > -1) lsq.push_back({testing::LsqObservation::Distance, j, obs[j].distance, f.par.sigmaDistance});
  }
  for (int j = 0; j < 3; ++j) {
    lsq.push_back({testing::LsqObservation::MapX, j, map[j].first, f.par.sigmaMapX});
    lsq.push_back({testing::LsqObservation::MapY, j, map[j].second, f.par.sigmaMapY});
  }
  const testing::LsqSolution ind = testing::SolveIndependently(f.t.Case.X_ini, f.t.Case.Y_ini, lsq, 0.01, 20);
  const CaseWork& c = f.t.Case;
  EXPECT_NEAR(c.X_adj, ind.x, 1e-9);
  EXPECT_NEAR(c.Y_adj, ind.y, 1e-9);
  EXPECT_NEAR(c.SigmaNull, ind.sigma0, 1e-9 * ind.sigma0);
  EXPECT_NEAR(c.SigmaX, ind.sigma0 * std::sqrt(ind.qxx), 1e-9 * c.SigmaX);
  ASSERT_EQ(c.BaardaValues.Size(), 11);
  for (int i = 1; i <= 11; ++i) {
    const double s = lsq[i - 1].sigma, baarda = std::fabs(ind.v[i - 1] / (ind.sigma0 * (s * s + ind.aqa[i - 1])));
    EXPECT_NEAR(c.BaardaValues(i), baarda, 1e-7 * baarda + 1e-12) << i;
  }
  EXPECT_NEAR(c.X_adj, tx, 0.15);
  EXPECT_NEAR(c.Y_adj, ty, 0.15);
  const auto fields = SplitFields(f.Results().at(1));
  EXPECT_EQ(fields.at(kFieldIterations), std::to_string(ind.iterations));
  EXPECT_EQ(fields.at(kFieldTau), "2.1705");  // Tau at NumOfObs 11 - 3
}

std::string ThreeTreeMap() {
  return MapRecord(1, 1, 1, 1.0, 0.0) + MapRecord(1, 2, 1, 0.0, 1.5) + MapRecord(1, 3, 1, -1.2, -0.8);
}

std::string GoodRecord(int tree, double x, double y) {
  return SightingRecord(1, tree, 1, 3, {Sight(1, x, y, 1.0, 0.0), Sight(2, x, y, 0.0, 1.5),
                                        Sight(3, x, y, -1.2, -0.8)});
}

// Each run draws its own random addition to the azimuth correction; a
// fresh start draws the same first one (the golden runs hold its results).
TEST(RunDriver, RepeatedRunsAndTheRandomCorrection) {
  RunFixture f, g;
  f.par.azimuthCorrection = g.par.azimuthCorrection = 2.0;
  f.Files(ThreeTreeMap(), GoodRecord(9, 0.1, 0.2));
  g.Files(ThreeTreeMap(), GoodRecord(9, 0.1, 0.2));
  const RunOutcome a = Simulate(f.t, f.ui), b = Simulate(f.t, f.ui);
  for (double used : {a.azimuthCorrectionUsed, b.azimuthCorrectionUsed})
    EXPECT_TRUE(used >= 2.0 && used < 2.01) << used;
  EXPECT_NE(a.azimuthCorrectionUsed, b.azimuthCorrectionUsed);
  EXPECT_EQ(f.Results().size(), 2u);  // the results file is emptied by each run
  EXPECT_EQ(SplitLines(f.dir.Read("mapdata.txt")).size(), 2u);  // map data is appended to
  EXPECT_EQ(Simulate(g.t, g.ui).azimuthCorrectionUsed, a.azimuthCorrectionUsed);
}

// The write and read system calls of the process so far (Linux's I/O
// accounting), or false where the system does not keep them.
bool SystemCalls(long long& writes, long long& reads) {
  std::FILE* io = std::fopen("/proc/self/io", "r");
  if (!io) return false;
  char name[64];
  long long value = 0;
  writes = reads = -1;
  while (std::fscanf(io, "%63s %lld", name, &value) == 2) {
    if (std::string(name) == "syscw:") writes = value;
    if (std::string(name) == "syscr:") reads = value;
  }
  std::fclose(io);
  return writes >= 0 && reads >= 0;
}

// The files are complete after each case at the cost of the file calls
// alone: each more case is one write to the results file, one to the map
// data and one to each of the four dump files, and no read.
TEST(RunDriver, EachCaseIsOneWritePerFile) {
  RunFixture f;
  f.Files(ThreeTreeMap(), GoodRecord(9, 0.1, 0.2) + GoodRecord(10, 0.3, -0.4) +
                              GoodRecord(11, -0.2, 0.1) + GoodRecord(12, 0.4, 0.3));
  // The first run of the process also reads the time zone (the run record).
  ASSERT_TRUE(Simulate(f.t, f.ui).completed);
  long long writes[2], reads[2];
  for (int k = 0; k < 2; ++k) {
    f.t.TargetTreeCount = k == 0 ? 1 : 4;
    long long w0 = 0, r0 = 0;
    if (!SystemCalls(w0, r0)) GTEST_SKIP() << "no /proc/self/io to count the system calls";
    ASSERT_TRUE(Simulate(f.t, f.ui).completed);
    ASSERT_TRUE(SystemCalls(writes[k], reads[k]));
    writes[k] -= w0;
    reads[k] -= r0;
  }
  EXPECT_EQ(f.Results().size(), 5u);
  EXPECT_EQ(writes[1] - writes[0], 3 * 6);
  EXPECT_EQ(reads[1] - reads[0], 0);
}

TEST(RunDriver, ParameterFileFailures) {
  RunFixture f;
  f.Files(ThreeTreeMap(), GoodRecord(9, 0.1, 0.2));
  // After a good run, a file cut short: the run goes on with the kept values.
  ASSERT_TRUE(Simulate(f.t, f.ui).completed);
  const std::string full = testing::ParameterFile(f.par);
  f.dir.Write(kParameterFileName, full.substr(0, full.find("Plot centres\r\n")));
  f.ui.messages.clear();
  const RunOutcome cut = Simulate(f.t, f.ui);
  EXPECT_FALSE(cut.parametersRead);
  EXPECT_TRUE(cut.completed);
  EXPECT_NE(f.ui.messages[1].find("item 13"), std::string::npos) << f.ui.messages[1];
  // r = 4 reads four rows.
  f.par.blockRows = 4;
  f.dir.Write(kParameterFileName, testing::ParameterFile(f.par));
  EXPECT_TRUE(ReadRunParameters(f.t, f.ui));
  EXPECT_EQ(f.t.Parameters.Block[3][1], 2.5);
}

// The dot of a case is drawn only for an adjusted case within the canvas
// (|X_adj| below 10 map units); the run's events reach the other observers.
TEST(RunHooks, CaseDotAndEvents) {
  RunFixture f;
  const std::string far = MapRecord(1, 11, 1, 12, 0) + MapRecord(1, 12, 1, 10, 1.5) +
                          MapRecord(1, 13, 1, 9.8, -0.8);
  f.Files(ThreeTreeMap() + far,
          GoodRecord(9, 0.3, -0.4) + SightingRecord(1, 10, 1, 0, {}) +
              SightingRecord(1, 14, 1, 3, {Sight(11, 11, 0, 12, 0), Sight(12, 11, 0, 10, 1.5),
                                           Sight(13, 11, 0, 9.8, -0.8)}));
  struct Recorder : RunHooks {
    std::vector<std::string> events;
    bool OnRunStart(const RunSettings&, std::string&) override { return events.push_back("start"), true; }
    void OnCaseDone(const CaseReport& r) override {
      events.push_back(std::to_string(r.caseNumber) + "/" + std::to_string(r.caseCount) + r.status);
    }
    void OnRunEnd(bool completed) override { events.push_back(completed ? "end" : "stopped"); }
  } recorder;
  ASSERT_TRUE(Simulate(f.t, f.ui, {&recorder}).completed);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"start", "1/3 OK ", "2/3FAILED: NPA", "3/3 OK ", "end"}));
  std::vector<double> dots;
  for (const DrawOp& op : f.ui.drawing)
    if (op.kind == DrawOp::Kind::Point) dots.push_back(op.x1);
  ASSERT_EQ(dots.size(), 1u);  // case 2 failed, case 3 lies at X 11
  EXPECT_NEAR(dots[0], 230, 1);
  // A refusal at the start stops the run before the list; a cancel after case 1.
  struct Refuse : RunHooks {
    bool OnRunStart(const RunSettings&, std::string& m) override { return m = "no", false; }
  } refuse;
  EXPECT_FALSE(Simulate(f.t, f.ui, {&refuse}).completed);
  EXPECT_EQ(f.ui.messages.back(), "no");
  // With a feedback of its own the run's messages are kept there with their
  // case, in order, and not shown; a cancel during case 2 stops after it.
  struct CancelInCase2 : RunHooks {
    void OnCaseDone(const CaseReport& r) override {
      if (r.caseNumber == 2) r.feedback.Cancel();
    }
  } cancel;
  struct Progress : Feedback::Listener {
    std::vector<std::string> seen;
    void OnProgress(long long done, long long total) override {
      seen.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
    void OnCancel() override { seen.push_back("cancel"); }
  } progress;
  const size_t shown = f.ui.messages.size();
  Feedback feedback(&progress);
  const RunOutcome stopped = Simulate(f.t, f.ui, {&cancel}, &feedback);
  EXPECT_EQ(stopped.cases, 2);
  EXPECT_TRUE(feedback.IsCanceled());
  EXPECT_EQ(progress.seen, (std::vector<std::string>{"1/3", "cancel", "2/3"}));
  const std::vector<FeedbackMessage> messages = feedback.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caseNumber, 2);
  EXPECT_EQ(messages[0].text, "The run is stopped after case 2.");
  EXPECT_EQ(f.ui.messages.size(), shown);
}

// (Its message and the probe file: Guards.TheProbeFileIsMadeOnlyWhereNoneExistsAndSimultaneousStartsAgree.)
TEST(StartUp, HelpTextAndAFolderWithoutAccess) {
  testing::TempFolder dir;
  Tables t;
  HeadlessUi ui;
  StartUpIn(t, ui, dir.Path());
  EXPECT_EQ(HelpText(t), "1) Read the photo-tree file\n2) Read the azimuth and distance observations file\n"
                         "3) Calculate positions\n4) Assess the results in the " + dir.Path() + "/results.txt file");
  StartUpIn(t, ui, dir.Path() + "/gone");
  EXPECT_EQ(ui.messages.back(), "TREETRI is badly written:; it assumes I/O access to " + dir.Path() +
                                    "/gone/ -folder, point (.) as decimal and comma (,) as list separator!");
}

// A map replaced after the sightings: the sightings are read again, so the
// field trees carry the new map's coordinates (as the quality layer does);
// when they cannot be read again none are kept and a run has nothing to
// compute.
TEST(RunDriver, AMapReplacedAfterTheSightingsReadsThemAgain) {
  RunFixture f;
  f.Files(ThreeTreeMap(), GoodRecord(9, 0.1, 0.2));
  ASSERT_EQ(f.t.TargetTrees[1].Sighted[2].Y, 1.5);
  // Before: the old coordinates stay with the field trees.
  f.dir.Write("map2.txt", MapRecord(1, 1, 1, 1.0, 0.0) + MapRecord(1, 2, 1, 0.0, 2.5) +
                              MapRecord(1, 3, 1, -1.2, -0.8));
  ASSERT_TRUE(ReadPhotoMapFile(f.t, f.ui, f.dir.Path() + "/map2.txt"));
  EXPECT_EQ(f.t.TargetTrees[1].Sighted[2].Y, 1.5);
  f.ui.messages.clear();
  EXPECT_TRUE(SightingsAgainstNewMap(f.t, f.ui));
  EXPECT_EQ(f.t.TargetTrees[1].Sighted[2].Y, 2.5);
  EXPECT_EQ(f.t.TargetTreeCount, 1);
  ASSERT_EQ(f.ui.messages.size(), 2u);  // and the reader's count
  EXPECT_EQ(f.ui.messages[0], "The map was replaced after the sightings were read: the sighting file \"" +
                                  f.dir.Path() + "/sight.txt\" is read again against the new map.");

  std::remove((f.dir.Path() + "/sight.txt").c_str());
  f.ui.messages.clear();
  EXPECT_FALSE(SightingsAgainstNewMap(f.t, f.ui));
  EXPECT_EQ(f.t.TargetTreeCount, 0);
  EXPECT_EQ(f.ui.messages.back(), "The sightings could not be read again against the new map; none "
                                  "are kept. Open the sighting file before the next run.");
  EXPECT_TRUE(Simulate(f.t, f.ui).nothingToCompute);
}

// The run guard refuses, before anything is written, a results file that
// any kind of sink declares as one of its files (the run driver's map data
// and dump files, the quality observer's files, the run record, and a sink
// the guard knows nothing about; an export target is checked against the
// same union), and an output of the run that is a FIFO or a socket (opening
// a FIFO would block the run), which stays what it was.
TEST(RunGuard, RefusesAResultsFileThatAnySinkDeclaresAndOutputsThatAreNotPlainFiles) {
  struct LaterSink : RunHooks {
    void DeclareFiles(const Tables& t, std::vector<RunFile>& files) const override {
      files.push_back({"plots file", t.WorkFolder + "plots.csv", RunFile::Use::Written});
    }
  } later;
  const struct {
    std::string name, what;
    char made;  // 0: named as the results file; 'f': a FIFO, 's': a socket there
  } rows[] = {{"mapdata.txt", "map data file", 0}, {"Matlab.txt", "dump file", 0},
              {"observations.csv", "quality file", 0}, {"run.json", "run record", 0},
              {"plots.csv", "plots file", 0}, {"results.txt", "a FIFO", 'f'},
              {"observations.csv", "a FIFO", 'f'}, {"Matlab.txt", "a socket", 's'}};
  for (const auto& r : rows) {
    RunFixture f;
    const std::string path = f.dir.Path() + "/" + r.name;
    if (!r.made) f.par.resultsFile = path;
    f.Files(ThreeTreeMap(), GoodRecord(9, 0.3, -0.4));
    if (r.made) {
      ASSERT_TRUE(r.made == 'f' ? ::mkfifo(path.c_str(), 0600) == 0 : testing::MakeSocket(path)) << path;
    }
    Feedback feedback;
    QualityObserver quality(f.t, feedback);
    RunRecordSink record(f.t, f.t, RunRecordInfo{});
    const std::vector<RunHooks*> sinks{&quality, &record, &later};
    EXPECT_FALSE(Simulate(f.t, f.ui, sinks, &feedback).completed) << r.name;
    const std::vector<FeedbackMessage> said = feedback.Messages();
    ASSERT_EQ(said.size(), 1u) << r.name;
    EXPECT_FALSE(std::filesystem::exists(f.dir.Path() + "/mapdata.txt")) << r.name;
    if (r.made) {
      EXPECT_NE(said[0].text.find("\"" + path + "\" is " + r.what), std::string::npos) << said[0].text;
      EXPECT_EQ(std::filesystem::status(path).type(), r.made == 'f'
                                                          ? std::filesystem::file_type::fifo
                                                          : std::filesystem::file_type::socket)
          << r.name;
      continue;
    }
    EXPECT_EQ(said[0].text.rfind("The results file \"" + path + "\" is the " + r.what, 0), 0u)
        << said[0].text;
    EXPECT_FALSE(std::filesystem::exists(path)) << r.name;
    RunFile clash;
    EXPECT_FALSE(ExportTargetClash(f.t, f.dir.Path() + "/x.gpkg", sinks, clash));
    ASSERT_TRUE(ExportTargetClash(f.t, f.dir.Path() + "/./" + r.name, sinks, clash)) << r.name;
    EXPECT_EQ(std::string(clash.what), r.what);
  }
}

}  // namespace
}  // namespace treetri
