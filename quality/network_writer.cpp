#include "quality/network_writer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <tuple>

#include "quality/network_files.h"

namespace treetri::quality {

bool NetworkRun::Begin(const std::string& workFolder, const NetworkOptions& options,
                       std::string& error) {
  active_ = false;
  summary_ = QualitySummary{};
  cases_.clear();
  plotOrder_.clear();
  workFolder_ = workFolder;
  options_ = options;
  for (auto [file, name, header] :
       {std::tuple{&quality_, kQualityFileName, NetworkQualityHeaderLine()},
        std::tuple{&observations_, kObservationsFileName, NetworkObservationHeaderLine()},
        std::tuple{&plots_, kPlotsFileName, PlotsHeaderLine()},
        std::tuple{&mapTrees_, kMapTreesFileName, MapTreesHeaderLine()}}) {
    const std::string path = workFolder + name;
    if (!file->Create(path, header, error)) {
      for (OutputFile* f : {&quality_, &observations_, &plots_, &mapTrees_}) f->Close();
      error = "The quality file \"" + path + "\" cannot be written: " + error +
              ". The run goes on without the quality files.";
      return false;
    }
  }
  active_ = true;
  return true;
}

void NetworkRun::AddCase(CaseInput in) {
  if (!active_) return;
  auto [it, added] = cases_.emplace(in.plot, std::vector<CaseInput>{});
  if (added) plotOrder_.push_back(in.plot);
  it->second.push_back(std::move(in));
}

bool NetworkRun::End(std::string& error) {
  if (!active_) return true;
  active_ = false;
  const size_t plots = plotOrder_.size();
  std::vector<const std::vector<CaseInput>*> inputs;
  for (int plot : plotOrder_) inputs.push_back(&cases_.at(plot));

  // Each plot's adjustment, or the exception it ended in (thrown again
  // here, in the order of the plots, as one thread would throw it).
  struct Slot {
    bool done = false;
    std::optional<PlotResult> result;
    std::exception_ptr failure;
  };
  std::vector<Slot> slots(plots);
  std::mutex mutex;
  std::condition_variable ready;
  std::atomic<size_t> next{0};
  std::atomic<bool> stop{false};
  auto adjust = [&](size_t j) {
    std::optional<PlotResult> result;
    std::exception_ptr failure;
    try {
      result = AssessPlot(*inputs[j], options_);
    } catch (...) {
      failure = std::current_exception();
    }
    {
      const std::lock_guard<std::mutex> lock(mutex);
      slots[j] = {true, std::move(result), failure};
    }
    ready.notify_all();
  };

  bool ok = true;
  {
    // The workers stop and are joined when this block is left, however it is
    // left (after a failed write with plots still to do, or an exception),
    // before their inputs go.
    std::vector<std::thread> workers;
    struct Join {
      std::atomic<bool>& stop;
      std::vector<std::thread>& workers;
      ~Join() {
        stop = true;
        for (std::thread& t : workers) t.join();
      }
    } join{stop, workers};
    // This thread adjusts plots too, so the workers are one fewer; a worker
    // that cannot be started leaves its share to the others.
    const unsigned machine = std::max(1u, std::thread::hardware_concurrency());
    const size_t wanted = std::min<size_t>(threads_ ? threads_ : std::min(machine, 8u), plots);
    for (size_t k = 1; k < wanted; ++k) {
      try {
        workers.emplace_back([&] {
          for (size_t j; !stop && (j = next++) < plots;) adjust(j);
        });
      } catch (const std::system_error&) {
        break;
      }
    }

    for (size_t i = 0; i < plots; ++i) {
      // Plot i's adjustment: taken from a worker, or while it is not done
      // and plots are left, this thread adjusts the next one.
      Slot slot;
      for (;;) {
        {
          std::unique_lock<std::mutex> lock(mutex);
          if (!slots[i].done && next >= plots) ready.wait(lock, [&] { return slots[i].done; });
          if (slots[i].done) {
            slot = std::move(slots[i]);
            break;
          }
        }
        if (const size_t j = next++; j < plots) adjust(j);
      }
      if (slot.failure) std::rethrow_exception(slot.failure);
      const int plot = plotOrder_[i];
      const PlotResult& r = *slot.result;
      std::string quality, observations, mapTrees;
      for (const NetworkCaseResult& c : r.cases) {
        quality += FormatNetworkQualityLine(c);
        for (size_t k = 0; k < c.quality.observations.size(); ++k)
          observations += FormatNetworkObservationLine(
              c.quality.observations[k], k < c.extras.size() ? c.extras[k] : ObservationExtra{});
      }
      for (const MapTreeResult& m : r.mapTrees) mapTrees += FormatMapTreeLine(plot, m);
      // The plot's lines whole, the observation lines before the case lines.
      if (!observations_.Append(observations, error) || !quality_.Append(quality, error) ||
          (r.summary.fieldTrees > 0 && !plots_.Append(FormatPlotLine(r.summary), error)) ||
          !mapTrees_.Append(mapTrees, error)) {
        error = "The quality files of plot " + std::to_string(plot) + " in \"" + workFolder_ +
                "\" cannot be written: " + error + ".";
        ok = false;
        break;
      }
      for (const NetworkCaseResult& c : r.cases) {
        ++summary_.verdicts[static_cast<size_t>(c.quality.row.verdict)];
        if (c.quality.row.suggestedTree) ++summary_.suggestions;
      }
      ++summary_.plots;
      if (r.summary.fieldTrees > 0) ++summary_.networkPlots;
    }
  }
  for (OutputFile* f : {&quality_, &observations_, &plots_, &mapTrees_}) f->Close();
  cases_.clear();
  return ok;
}

}  // namespace treetri::quality
