// Sighting edits in the plot map's side panel: each kind fixes an error
// planted in the data set, is one line of corrections.csv, computes its case
// again at once and is undone by the inverse line.
#include <cmath>
#include <fstream>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QStandardItemModel>
#include <QTableWidget>

#include "app/case_edits.h"
#include "app/gui/results_model.h"
#include "app/plot_map_window.h"
#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

class CaseEditTest : public DesktopTest {
 protected:
  static constexpr const char* kPlanted =
      "1,101,1,3,1,1.728011,105.945396,2,0.854400,339.443955,3,1.315295,261.253838,0,-1,-1,0,-1,-1\r\n"
      "1,102,1,3,3,0.781025,309.805571,2,0.640312,141.340192,1,1.486607,70.346176,0,-1,-1,0,-1,-1\r\n"
      "1,103,1,3,1,0.500000,53.130102,4,0.921954,220.601295,2,1.431782,335.224859,0,-1,-1,0,-1,-1\r\n";
  // The data set with two planted errors: case 1 (field tree 101 at
  // (0.3, 0.2)) has its first distance 1 m too long, case 2 (102 at
  // (-0.4, -0.5)) names tree 2 in slot 2 where it sighted tree 4.
  PlotMapWindow* RunPlanted() {
    OpenDataSet(kPlanted);
    if (!window.Simulate().completed) return nullptr;
    PlotMapWindow* map = window.ShowPlotMap(1);
    messages.clear();
    if (map) map->showMessage = [this](const QString& m) { messages.push_back(m.toStdString()); };
    return map;
  }
  std::array<double, 2> At(int caseNumber) const {
    const quality::CaseQuality* c = window.Results().Find(caseNumber);
    return c && c->row.x && c->row.y ? std::array<double, 2>{*c->row.x, *c->row.y}
                                     : std::array<double, 2>{NAN, NAN};
  }
  // The lines of corrections.csv after the header, their time cut off.
  std::vector<std::string> Lines() const {
    std::ifstream in(File("corrections.csv"), std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "time,plot,tree,slot,field,old,new,reason,verdict,suspect_kind\r");
    while (std::getline(in, line)) lines.push_back(line.substr(line.find(',') + 1));
    return lines;
  }
};

#define EXPECT_AT(n, x, y, tol)            \
  do {                                     \
    EXPECT_NEAR(At(n)[0], x, tol) << "X of case " << n; \
    EXPECT_NEAR(At(n)[1], y, tol) << "Y of case " << n; \
  } while (0)

TEST_F(CaseEditTest, EachEditFixesItsPlantedErrorAndUndoBringsTheRunBack) {
  PlotMapWindow* map = RunPlanted();
  ASSERT_TRUE(map);
  ASSERT_TRUE(window.Edits());
  const std::array<double, 2> run1 = At(1);
  ASSERT_GT(std::hypot(run1[0] - 0.3, run1[1] - 0.2), 0.05);

  // Each edit of slot 1 of case 1 that removes the wrong distance puts the
  // tree where the consistent sightings place it.
  map->askValues = [](QString& d, QString& a) {
    EXPECT_EQ(d + " " + a, "1.728011 105.945396");  // the values read
    return d = "0.728011", true;
  };
  const std::pair<SightingEdit, const char*> steps[] = {
      {SightingEdit::EditValues, "1,101,1,distance,1.728011,0.728011,"},
      {SightingEdit::DropDistance, "1,101,1,distance,1.728011,,"},
      {SightingEdit::DropSighting, "1,101,1,sighting,1.728011/105.945396,,"}};
  size_t expectedLines = 0;
  for (const auto& [kind, line] : steps) {
    ASSERT_TRUE(map->EditSighting(kind, 1)) << line;
    EXPECT_AT(1, 0.3, 0.2, 3e-4);
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), ++expectedLines);
    EXPECT_EQ(lines.back().rfind(line, 0), 0u) << lines.back();
    // The map, the panel and the table show the case as computed again.
    EXPECT_EQ(map->Scene().selectedCase, 1);
    const auto* model = static_cast<QStandardItemModel*>(map->ResultsFilter()->sourceModel());
    const QList<QStandardItem*> one = model->findItems("1");
    ASSERT_EQ(one.size(), 1);
    const QString before = model->item(one[0]->row(), ResultsModel::BeforeColumn)->text();
    EXPECT_TRUE(before.contains("moved")) << before.toStdString();

    // Undo (Ctrl+Z) appends the inverse line and computes the run's case.
    map->UndoAction()->trigger();
    EXPECT_AT(1, run1[0], run1[1], 1e-9);
    lines = Lines();
    ASSERT_EQ(lines.size(), ++expectedLines);
    EXPECT_NE(lines.back().find(",undo,"), std::string::npos) << lines.back();
  }
  EXPECT_FALSE(map->UndoAction()->isEnabled());

  // Dropping the azimuth of the wrong sighting keeps its wrong distance: the
  // case stays off and moves.
  ASSERT_TRUE(map->EditSighting(SightingEdit::DropAzimuth, 1));
  EXPECT_EQ(Lines().back().rfind("1,101,1,azimuth,105.945396,,", 0), 0u);
  EXPECT_GT(std::hypot(At(1)[0] - 0.3, At(1)[1] - 0.2), 0.05);
  EXPECT_GT(std::hypot(At(1)[0] - run1[0], At(1)[1] - run1[1]), 1e-6);
  EXPECT_EQ(map->Panel()->SightingsTable()->item(0, 3)->text(), "-1");

  // Set tree: the trees near the sighting's end come first; for case 3,
  // whose sightings agree, slot 2 ends on map tree 4.
  map->SelectCase(3);
  QStringList offered;
  map->askTree = [&](const QString&, const QStringList& trees, QString&) {
    return offered = trees, false;
  };
  EXPECT_FALSE(map->EditSighting(SightingEdit::SetTree, 2));
  ASSERT_EQ(offered.size(), 4);
  EXPECT_TRUE(offered.front().startsWith("4 ")) << offered.front().toStdString();

  // Case 2, an outlier whose slot 2 is suspect: the suggested tree 4 (and
  // the same tree set by hand) places it at (-0.4, -0.5).
  map->SelectCase(2);
  QAction* useSuggested = map->Panel()->EditAction(SightingEdit::UseSuggested);
  EXPECT_EQ(map->Panel()->SelectedSlot(), 2);
  EXPECT_TRUE(useSuggested->isEnabled());
  map->Panel()->SelectSlot(1);
  EXPECT_FALSE(useSuggested->isEnabled());
  ASSERT_TRUE(map->EditSighting(SightingEdit::UseSuggested, 2));
  EXPECT_EQ(Lines().back().rfind("1,102,2,tree,2,4,suggested tree used,outlier,", 0), 0u);
  EXPECT_AT(2, -0.4, -0.5, 3e-4);
  map->UndoAction()->trigger();
  map->askTree = [](const QString&, const QStringList& trees, QString& chosen) {
    return chosen = trees.filter(QRegularExpression("^4\\b")).value(0), true;
  };
  ASSERT_TRUE(map->EditSighting(SightingEdit::SetTree, 2));
  EXPECT_EQ(Lines().back().rfind("1,102,2,tree,2,4,", 0), 0u);
  EXPECT_AT(2, -0.4, -0.5, 3e-4);
  map->UndoAction()->trigger();
  EXPECT_EQ(Lines().back().rfind("1,102,2,tree,4,2,undo,", 0), 0u);
  EXPECT_GT(std::hypot(At(2)[0] + 0.4, At(2)[1] + 0.5), 0.05);
  EXPECT_TRUE(messages.empty()) << messages.front();
}

TEST_F(CaseEditTest, ARunAppliesCorrectionsAndWritesWhatTheBatchProgramWrites) {
  OpenDataSet(kPlanted);
  messages.clear();
  const std::string header = "time,plot,tree,slot,field,old,new,reason,verdict,suspect_kind\r\n";
  // A line whose old value is not in the sighting file stops the run.
  std::ofstream(File("corrections.csv"), std::ios::binary)
      << header << "2026-12-07T06:00:00Z,1,101,1,distance,1.7,0.728011,typo,ok,\r\n";
  EXPECT_EQ(window.Simulate().cases, 0);
  ASSERT_EQ(messages.size(), 1u) << messages.back();
  EXPECT_NE(messages.back().find("line 2"), std::string::npos) << messages.back();
  EXPECT_FALSE(QFile::exists(folder.filePath("quality.csv")));

  std::ofstream(File("corrections.csv"), std::ios::binary)
      << header << "2026-12-07T06:00:00Z,1,101,1,distance,1.728011,0.728011,typo,ok,\r\n"
      << "2026-12-07T06:01:00Z,1,102,2,tree,2,4,wrong tree,outlier,azimuth\r\n";
  // Twice: the second run applies the file to the sightings as read again.
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(window.Simulate().completed) << (messages.empty() ? "" : messages.back());
    EXPECT_AT(1, 0.3, 0.2, 3e-4);
    EXPECT_AT(2, -0.4, -0.5, 3e-4);
  }
  EXPECT_TRUE(window.RunSummary().contains("uses 2 corrections")) << window.RunSummary().toStdString();
  const std::string corrected = ReadFile(File("sightings.corrected.txt"));
  EXPECT_EQ(corrected.substr(0, corrected.find('\n')),
            "1,101,1,3,1,0.728011,105.945396,2,0.8544,339.443955,3,1.315295,261.253838,0,-1,-1,0,-1,-1\r");
  EXPECT_EQ(ReadFile(File("sightings.txt")), kPlanted);
  EXPECT_NE(ReadFile(File("run.json")).find("corrections.csv"), std::string::npos);

  // The batch program with the same corrections and the desktop's azimuth
  // correction writes the same corrected sightings and quality files.
  QTemporaryDir other;
  const auto there = [&](const char* name) { return other.filePath(name).toStdString(); };
  for (const char* name : {"map.txt", "sightings.txt", "corrections.csv"})
    ASSERT_TRUE(QFile::copy(folder.filePath(name), other.filePath(name)));
  treetri::ParameterFileTexts params = treetri::DefaultParameterTexts();
  params.Item(2) = there("results.txt");
  std::ofstream(there(treetri::kParameterFileName), std::ios::binary)
      << treetri::ParameterFileText(params);
  QProcess batch;
  batch.setWorkingDirectory(other.path());
  batch.start(TREETRI_BATCH, {"--corrections", "corrections.csv", "--azimuth-correction-used",
                              folder.filePath("run.json"), "map.txt", "sightings.txt"});
  ASSERT_TRUE(batch.waitForFinished(60000));
  ASSERT_EQ(batch.exitCode(), 0) << batch.readAllStandardError().toStdString();
  EXPECT_EQ(ReadFile(there("sightings.corrected.txt")), corrected);
  for (const char* name : {"quality.csv", "observations.csv"})
    EXPECT_EQ(ReadFile(there(name)), ReadFile(File(name))) << name;
}

TEST_F(CaseEditTest, TheLastRunOpenedFromItsFilesCanBeEditedAsThatRunComputedIt) {
  OpenDataSet(kPlanted);
  std::ofstream(File("corrections.csv"), std::ios::binary)
      << "time,plot,tree,slot,field,old,new,reason,verdict,suspect_kind\r\n"
      << "2026-12-07T06:00:00Z,1,101,1,distance,1.728011,0.728011,typo,ok,\r\n";
  ASSERT_TRUE(window.Simulate().completed);
  const std::array<double, 2> run2 = At(2);
  // An edit after the run appends to corrections.csv; the run did not use it.
  PlotMapWindow* map = window.ShowPlotMap(2);
  ASSERT_TRUE(map);
  ASSERT_TRUE(map->EditSighting(SightingEdit::DropSighting, 2));

  ASSERT_TRUE(window.OpenResults());
  ASSERT_TRUE(window.Edits());
  EXPECT_EQ(window.Edits()->Record(1)->Distance[1], 0.728011);  // the run's correction
  EXPECT_EQ(window.Edits()->Record(2)->Distance[2], 0.640312);  // the later edit is not
  map = window.ShowPlotMap(2);
  ASSERT_TRUE(map);
  map->askTree = [](const QString&, const QStringList&, QString& chosen) {
    return chosen = "4", true;
  };
  ASSERT_TRUE(map->EditSighting(SightingEdit::SetTree, 2));
  EXPECT_AT(2, -0.4, -0.5, 3e-4);
  map->UndoAction()->trigger();
  EXPECT_AT(2, run2[0], run2[1], 1e-6);  // as the run computed it, with its azimuth correction

  // Another sighting file than the run's: no edits on its results.
  std::ofstream(File("other.txt"), std::ios::binary) << kPlanted << kPlanted;
  answers = {File("other.txt")};
  window.OpenSightingsAction()->trigger();
  ASSERT_TRUE(window.OpenResults());
  EXPECT_FALSE(window.Edits());
}

TEST_F(CaseEditTest, AnInputChangedSinceReadIsReportedAndReadAgainOnRequest) {
  OpenDataSet();
  ASSERT_TRUE(window.Simulate().completed);
  std::vector<std::string> asked;
  auto answer = MainWindow::ChangedAnswer::Cancel;
  window.changedInputsHook = [&](const std::string& m) {
    asked.push_back(m);
    return answer;
  };
  ASSERT_TRUE(window.Simulate().completed);
  EXPECT_TRUE(asked.empty());
  WriteDataSet(kPlanted);
  EXPECT_EQ(window.Simulate().cases, 0);  // cancelled
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_NE(asked.back().find("sightings.txt"), std::string::npos) << asked.back();
  answer = MainWindow::ChangedAnswer::RunAsRead;
  ASSERT_TRUE(window.Simulate().completed);
  EXPECT_AT(1, 0.3, 0.2, 3e-4);  // the sightings as first read
  answer = MainWindow::ChangedAnswer::ReadAgain;
  ASSERT_TRUE(window.Simulate().completed);
  EXPECT_GT(std::hypot(At(1)[0] - 0.3, At(1)[1] - 0.2), 0.05);  // the planted error
  EXPECT_EQ(asked.size(), 3u);
  ASSERT_TRUE(window.Simulate().completed);
  EXPECT_EQ(asked.size(), 3u);  // read again: nothing changed since
}

}  // namespace
}  // namespace treetri::gui
