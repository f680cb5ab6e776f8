// The plot network's run: collects every case's input while the run goes,
// then adjusts plot by plot and writes each plot whole: its cases' lines of
// "quality.csv" and "observations.csv" (with the network's columns), its
// line of "plots.csv" and its map trees' lines of "map_trees.csv". The four
// files are created with their header lines when the run starts. The plots
// are adjusted on as many threads as the machine has (each plot alone, as
// one thread would adjust it) and written in their order, each as soon as
// it and those before it are done.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/tables.h"
#include "platform/files.h"
#include "quality/case_input.h"
#include "quality/plot_network.h"
#include "quality/quality_writer.h"

namespace treetri::quality {

class NetworkRun {
 public:
  // Creates the four files in workFolder. False, with the reason naming the
  // file, when one cannot be written; the run then writes no quality.
  bool Begin(const std::string& workFolder, const NetworkOptions& options, std::string& error);
  // Keeps case caseNumber's input (as QualityRun::AddCase assesses it).
  void AddCase(CaseInput in);
  // Adjusts and writes plot by plot, in the order of each plot's first case,
  // and closes the files. False, with the reason, when a file could not be
  // written (the plots before it are complete).
  bool End(std::string& error);
  const QualitySummary& Summary() const { return summary_; }
  // The threads that adjust plots: 0 (the default) as many as the machine
  // runs at once, 1 the calling thread alone.
  void SetThreads(unsigned threads) { threads_ = threads; }
  bool Active() const { return active_; }

 private:
  std::string workFolder_;
  NetworkOptions options_;
  OutputFile quality_, observations_, plots_, mapTrees_;
  bool active_ = false;
  unsigned threads_ = 0;
  std::vector<int> plotOrder_;
  std::map<int, std::vector<CaseInput>> cases_;
  QualitySummary summary_;
};

}  // namespace treetri::quality
