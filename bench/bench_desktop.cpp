// treetri-bench-desktop: the same run of simulated cases through the desktop
// program's main window (offscreen) and headless as the batch program makes
// it, side by side on one data set; then an edit of a sighting on the plot
// map (its case computed again, map, panel and table repainted), and the
// same after a run with the plot network (the edit's plot assessed again).
//
//   treetri-bench-desktop [--cases N] [--seed N] [--repeat R] [--dir BASE] [--near-origin]
//
// The simulated plots lie on map-grid coordinates, where the canvas draws no
// dot and so processes no events; --near-origin moves every case next to the
// origin, so that each case draws its dot and processes events as well.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>

#include "app/case_edits.h"
#include "app/main_window.h"
#include "app/plot_map_window.h"
#include "bench/bench_support.h"
#include "platform/qt/qt_ui.h"
#include "core/quality_observer.h"
#include "core/run.h"
#include "platform/files.h"

namespace {

using treetri::bench::Now;

using treetri::bench::Median;

// Moves each case so that its first sighted tree stands at the origin.
void MoveNearOrigin(treetri::Tables& t) {
  for (int i = 1; i <= t.TargetTreeCount; ++i) {
    treetri::TargetTree& tree = t.TargetTrees[i];
    const double x0 = tree.Sighted[1].X, y0 = tree.Sighted[1].Y;
    for (int k = 1; k <= treetri::kSlotCount; ++k) {
      tree.Sighted[k].X -= x0;
      tree.Sighted[k].Y -= y0;
    }
  }
}

// Every ninth case keeps its distances only: no start position is found.
void FailEveryNinth(treetri::Tables& t) {
  for (int i = 9; i <= t.TargetTreeCount; i += 9) {
    treetri::TargetTree& tree = t.TargetTrees[i];
    for (int k = 1; k <= treetri::kSlotCount; ++k) {
      tree.HasAzimuth[k] = treetri::kFalse;
      tree.Azimuth[k] = -1;
    }
    tree.AzimuthCount = 0;
  }
}

struct Timing {
  double desktop = 0, batch = 0;
  bool ok = true;
};

// Medians over `repeat` runs of the desktop (through the main window, its
// messages recorded as the scripted start does) and of the batch run.
Timing Measure(treetri::MainWindow& window, treetri::bench::PreparedRun& r, long long repeat) {
  std::vector<double> desktop, batch;
  Timing timing;
  for (long long k = 0; k < repeat; ++k) {
    double t0 = Now();
    const treetri::RunOutcome d = window.Simulate();
    desktop.push_back(Now() - t0);
    t0 = Now();
    // The batch program's run, with the quality observer both programs attach.
    treetri::QualityObserver quality(r.t, r.feedback);
    const treetri::RunOutcome b = treetri::Simulate(r.t, r.ui, {&quality}, &r.feedback);
    batch.push_back(Now() - t0);
    r.TakeMessages();
    timing.ok = timing.ok && d.completed && b.completed;
  }
  timing.desktop = Median(desktop);
  timing.batch = Median(batch);
  return timing;
}

void Report(const char* what, const Timing& t, long long repeat) {
  std::printf("%s\n", what);
  std::printf("  desktop run        median %.4f s over %lld runs\n", t.desktop, repeat);
  std::printf("  batch run          median %.4f s\n", t.batch);
  std::printf("  desktop / batch    %.2f (target at most 2): %s\n", t.desktop / t.batch,
              t.desktop <= 2 * t.batch ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  treetri::bench::RunArguments args;
  if (!treetri::bench::ParseRunArguments(argc, argv, args, "--near-origin")) {
    std::fputs("usage: treetri-bench-desktop [--cases N] [--seed N] [--repeat R] [--dir BASE] "
               "[--near-origin]\n",
               stderr);
    return 2;
  }
  const long long cases = args.cases, repeat = args.repeat;
  const bool nearOrigin = args.flagSet;
  treetri::bench::PreparedRun r;
  std::string error;
  if (!r.Prepare(static_cast<int>(cases), static_cast<std::uint64_t>(args.seed), args.base, error)) {
    std::fprintf(stderr, "treetri-bench-desktop: %s\n", error.c_str());
    return 1;
  }
  if (nearOrigin) MoveNearOrigin(r.t);
  treetri::MainWindow window(r.t);
  window.Ui().messageHook = [](const std::string&) {};
  window.show();
  QCoreApplication::processEvents();

  const Timing plain = Measure(window, r, repeat);
  const int layoutsPlain = window.Ui().ListLayouts();
  FailEveryNinth(r.t);
  std::size_t messages = 0;
  window.Ui().messageHook = [&messages](const std::string&) { ++messages; };
  const Timing failing = Measure(window, r, repeat);
  const int layoutsFailing = window.Ui().ListLayouts() - layoutsPlain;
  if (!plain.ok || !failing.ok) {
    std::fputs("treetri-bench-desktop: a run did not complete\n", stderr);
    return 1;
  }
  // The plot map opened on the results of the last run, then a run with the
  // window open, following case by case.
  double t0 = Now();
  const bool mapOpened = window.ShowPlotMap(1) != nullptr;
  QCoreApplication::processEvents();
  const double mapOpen = Now() - t0;
  t0 = Now();
  const bool mapRun = window.Simulate().completed;
  const double withMap = Now() - t0;
  if (!mapOpened || !mapRun) {
    std::fputs("treetri-bench-desktop: the plot map run did not complete\n", stderr);
    return 1;
  }
  // Edits on the plot map: a distance dropped and undone in turn on cases
  // spread over the run, each timed from the command to the repainted window.
  const auto edits = [&] {
    treetri::PlotMapWindow* map = window.PlotMap();
    map->showMessage = [](const QString& m) { std::fprintf(stderr, "%s\n", qPrintable(m)); };
    std::vector<double> times;
    for (int k = 0; k < 40 && window.Edits(); ++k) {
      const int n = 1 + (k / 2) * static_cast<int>(cases / 20) % static_cast<int>(cases);
      if (k % 2 == 0) map->SelectCase(n);
      const treetri::TargetTree* rec = window.Edits()->Record(map->SelectedCase());
      if (!rec) break;
      const double start = Now();
      const bool done = k % 2 == 0 ? map->EditSighting(treetri::SightingEdit::DropDistance, 1)
                                   : map->UndoEdit();
      map->repaint();
      QCoreApplication::processEvents();
      if (done) times.push_back(Now() - start);
    }
    treetri::RemoveFile(r.t.WorkFolder + treetri::kCorrectionsFileName);
    return times;
  };
  const std::vector<double> editTimes = edits();
  // The same with the plot network (40 field trees a plot): the run, and
  // each edit assessing its plot again.
  window.SetNetworkMethod(true);
  t0 = Now();
  const bool networkRun = window.Simulate().completed && window.PlotMap();
  const double networkSeconds = Now() - t0;
  const std::vector<double> networkEdits = networkRun ? edits() : std::vector<double>{};
  window.SetNetworkMethod(false);
  r.TakeMessages();
  std::printf("cases                %lld%s\n", cases, nearOrigin ? " (near the origin: a dot each)" : " (map-grid coordinates)");
  Report("as simulated", plain, repeat);
  std::printf("  list layouts       %d in all runs\n", layoutsPlain);
  Report("every ninth case failing its initial approximation (11 %)", failing, repeat);
  std::printf("  messages           %zu per run\n", messages / static_cast<std::size_t>(repeat + 1));
  std::printf("  list layouts       %d in all runs\n", layoutsFailing);
  std::printf("plot map opened      %.4f s (%lld cases in its table)\n", mapOpen, cases);
  std::printf("run, plot map open   %.4f s\n", withMap);
  const auto reportEdits = [](const char* what, const std::vector<double>& times) {
    if (times.empty()) {
      std::printf("%s  none could be made\n", what);
      return;
    }
    const double worst = *std::max_element(times.begin(), times.end());
    std::printf("%s median %.4f s, max %.4f s over %zu edits/undos (target under 0.1 s): %s\n",
                what, Median(times), worst, times.size(), worst < 0.1 ? "met" : "MISSED");
  };
  reportEdits("edit on the plot map", editTimes);
  std::printf("run, plot network   %.4f s%s\n", networkSeconds, networkRun ? "" : " (did not complete)");
  reportEdits("edit, plot network  ", networkEdits);
  return 0;
}
