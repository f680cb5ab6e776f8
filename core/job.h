// A work folder as the desktop program opens it ("a job"): what its
// parameter file says before any run, and the results list of its last run
// rebuilt from the files that run left, so a finished run can be looked at
// again without computing it. No windows here.
#pragma once

#include <string>
#include <vector>

#include "data/tables.h"

namespace treetri {

// The parameter file of a work folder, read without running.
struct ParameterFileCheck {
  enum Kind { Usable, Missing, Unreadable, Bad } kind = Missing;
  // The results file name the file gives (Usable, or Bad after item 2).
  std::string resultsFile;
  // For anything but Usable: what is wrong and what the user can do.
  std::string message;
};

// Reads "SimulationInputParameters2.txt" of workFolder (which ends with the
// path separator) as a run would, without the run's random addition.
ParameterFileCheck CheckParameterFile(const std::string& workFolder);

// The results list of the last run in a work folder: the list header and
// one line per case, made from the results file (case, iterations, plot,
// tree, position and precision) and, for the status, the quality file
// (qualityFile; a missing quality file leaves the status empty). A last
// line without its line end, which a run killed while writing it may leave,
// is left out with a `warning` that says so. False with a message naming the
// file when the results file cannot be read or holds no case.
bool RebuildResultsList(const std::string& resultsFile, const std::string& qualityFile,
                        std::vector<std::string>& lines, std::string& warning, std::string& error);

}  // namespace treetri
