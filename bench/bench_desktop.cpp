// treetri-bench-desktop: the same run of simulated cases through the desktop
// program's main window (offscreen) and headless as the batch program makes
// it, side by side on one data set.
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

#include "app/main_window.h"
#include "bench/bench_support.h"
#include "platform/qt/qt_ui.h"
#include "core/quality_observer.h"
#include "core/run.h"

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

  std::vector<double> desktop, batch;
  for (long long k = 0; k < repeat; ++k) {
    double t0 = Now();
    const treetri::RunOutcome d = window.Simulate();
    desktop.push_back(Now() - t0);
    t0 = Now();
    // The batch program's run, with the quality observer both programs attach.
    treetri::QualityObserver quality(r.t, r.feedback);
    const treetri::RunOutcome b = treetri::Simulate(r.t, r.ui, {&quality}, &r.feedback);
    batch.push_back(Now() - t0);
    if (!d.completed || !b.completed) {
      std::fputs("treetri-bench-desktop: a run did not complete\n", stderr);
      return 1;
    }
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
  r.TakeMessages();
  const double d = Median(desktop), b = Median(batch);
  std::printf("cases                %lld%s\n", cases, nearOrigin ? " (near the origin: a dot each)" : " (map-grid coordinates)");
  std::printf("desktop run          median %.4f s over %lld runs\n", d, repeat);
  std::printf("batch run            median %.4f s\n", b);
  std::printf("desktop / batch      %.2f (target at most 2): %s\n", d / b, d <= 2 * b ? "met" : "MISSED");
  std::printf("list layouts         %d in all runs\n", window.Ui().ListLayouts());
  std::printf("plot map opened      %.4f s (%lld cases in its table)\n", mapOpen, cases);
  std::printf("run, plot map open   %.4f s\n", withMap);
  return 0;
}
