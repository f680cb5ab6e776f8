#include "core/job.h"

#include <cstdlib>
#include <map>
#include <new>

#include "core/run.h"
#include "data/parameter_file.h"
#include "output/results_format.h"
#include "platform/files.h"
#include "platform/text.h"
#include "quality/quality_files.h"

namespace treetri {

namespace {

const char* const kWhatToDo =
    " Calculate positions reads the results file name, the azimuth correction and the "
    "standard errors from this file. ";

// The results list's parts taken from a results line, in list order.
constexpr int kListFieldsFromResults[] = {kFieldCase,    kFieldIterations, kFieldPlot,
                                          kFieldTree,    kFieldX_adj,      kFieldY_adj,
                                          kFieldSigmaNull, kFieldSigmaX,   kFieldSigmaY};
static_assert(sizeof(kListFieldsFromResults) / sizeof(int) == kListParts - 1,
              "every list part but the status comes from the results line");

// The quality file keeps the status without its surrounding blanks; the
// list shows the two short words framed by blanks.
std::string ListStatus(const std::string& trimmed) {
  for (const char* word : {kStatusOk, kStatusDoubtful}) {
    const std::string w = word;
    const size_t first = w.find_first_not_of(' ');
    if (w.substr(first, w.find_last_not_of(' ') - first + 1) == trimmed) return w;
  }
  return trimmed;
}

}  // namespace

ParameterFileCheck CheckParameterFile(const std::string& workFolder) {
  ParameterFileCheck check;
  const std::string path = workFolder + kParameterFileName;
  const std::string named = "The parameter file \"" + path + "\"";
  if (!FileExists(path)) {
    check.kind = ParameterFileCheck::Missing;
    check.message = "The work folder \"" + workFolder + "\" has no parameter file \"" +
                    kParameterFileName + "\"." + kWhatToDo +
                    "Copy the parameter file of an earlier job into the folder, or write one "
                    "with default values by Job > Create parameter file and edit it, then "
                    "calculate.";
    return check;
  }
  std::string content, error;
  if (!ReadWholeFile(path, content, error)) {
    check.kind = ParameterFileCheck::Unreadable;
    check.message = named + " cannot be read: " + error + "." + kWhatToDo +
                    "Make it readable (or replace it), then calculate.";
    return check;
  }
  RunParameters p;
  ParameterReadStatus status;
  try {
    status = ReadParameterText(std::move(content), p);
  } catch (const std::bad_alloc&) {
    status.detail = "does not fit in memory";
  }
  check.resultsFile = p.ResultsFileName;
  const std::string sigma = NonPositiveStandardError(p);
  if (status.ok && sigma.empty() && !p.ResultsFileName.empty()) {
    check.kind = ParameterFileCheck::Usable;
    return check;
  }
  check.kind = ParameterFileCheck::Bad;
  std::string what;
  if (!status.ok)
    what = status.detail;
  else if (!sigma.empty())
    what = "the standard error " + sigma + "; standard errors must be greater than 0";
  else
    what = "item 2, the results file name, is empty";
  check.message = named + ": " + what + "." + kWhatToDo +
                  "Correct the file in a text editor (each value follows its label on a line "
                  "of its own), then calculate.";
  return check;
}

bool RebuildResultsList(const std::string& resultsFile, const std::string& qualityFile,
                        std::vector<std::string>& lines, std::string& warning, std::string& error) {
  lines.clear();
  warning.clear();
  std::string content;
  if (!ReadWholeFile(resultsFile, content, error)) {
    error = "The results file \"" + resultsFile + "\" cannot be read: " + error + ".";
    return false;
  }
  std::map<int, std::string> status;
  std::vector<quality::CaseAssessment> rows;
  if (FileExists(qualityFile) && quality::ReadQualityFile(qualityFile, rows).ok)
    for (const quality::CaseAssessment& r : rows) status[r.caseNumber] = r.legacyStatus;

  lines.push_back(kListHeader);
  const bool whole = ForEachLine(content, [&](std::string_view line, int lineNumber, bool ended) {
    if (lineNumber == 1 || line.empty()) return true;  // the header
    if (!ended) {
      // Its last number may be cut short: not shown as a case.
      warning = "The results file \"" + resultsFile + "\", line " + std::to_string(lineNumber) +
                ", is unfinished (a run stopped while writing it): it is left out.";
      return true;
    }
    const std::vector<std::string> fields = SplitAt(line, ",");
    int caseNumber = 0;
    if (fields.size() < static_cast<size_t>(kResultsCaseFields) ||
        (caseNumber = std::atoi(fields[kFieldCase].c_str())) < 1) {
      error = "The results file \"" + resultsFile + "\", line " + std::to_string(lineNumber) +
              ": not a line of a case.";
      return false;
    }
    std::string listLine;
    for (int f : kListFieldsFromResults) listLine += fields[f] + kListSeparator;
    const auto s = status.find(caseNumber);
    if (s != status.end()) listLine += ListStatus(s->second);
    lines.push_back(listLine);
    return true;
  });
  if (!whole) {
    lines.clear();
    return false;
  }
  if (lines.size() < 2) {
    error = "The results file \"" + resultsFile + "\" holds no case.";
    lines.clear();
    return false;
  }
  return true;
}

}  // namespace treetri
