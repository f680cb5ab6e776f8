#include "quality/quality_writer.h"
#include "quality/quality_files.h"

#include <tuple>

namespace treetri::quality {
std::string SummaryText(const QualitySummary& s) {
  std::string text = "quality:";
  for (size_t v = 0; v < s.verdicts.size(); ++v) {
    text += (v == 0 ? " " : ", ") + std::to_string(s.verdicts[v]) + " " +
            VerdictWord(static_cast<Verdict>(v));
  }
  text += "; " + std::to_string(s.suggestions) +
          (s.suggestions == 1 ? " suggested replacement" : " suggested replacements");
  if (s.plots > 0)
    text += "; " + std::to_string(s.networkPlots) + " of " + std::to_string(s.plots) +
            (s.plots == 1 ? " plot" : " plots") + " adjusted as a network";
  return text;
}

bool RemoveQualityFiles(const std::string& workFolder, std::string& error) {
  for (const char* name : {kQualityFileName, kObservationsFileName}) {
    const std::string path = workFolder + name;
    if (!RemoveFile(path) && FileExists(path)) {
      error = "The quality file \"" + path + "\" of an earlier run cannot be removed; it does not " +
              "describe this run.";
      return false;
    }
  }
  return true;
}

bool QualityRun::Begin(const std::string& workFolder, std::string& error) {
  End();
  summary_ = QualitySummary{};
  workFolder_ = workFolder;
  for (auto [file, name, header] :
       {std::tuple{&quality_, kQualityFileName, QualityHeaderLine()},
        std::tuple{&observations_, kObservationsFileName, ObservationHeaderLine()}}) {
    const std::string path = workFolder + name;
    if (!file->Create(path, header, error)) {
      End();
      error = "The quality file \"" + path + "\" cannot be written: " + error +
              ". The run goes on without the quality files.";
      return false;
    }
  }
  active_ = true;
  return true;
}

bool QualityRun::AddCase(const CaseInput& in, std::string& error) {
  last_ = CaseQuality{};
  if (!active_) return true;
  const int caseNumber = in.caseNumber;
  last_ = AssessCase(in);
  const CaseQuality& q = last_;
  std::string lines;
  for (const ObservationAssessment& o : q.observations) lines += FormatObservationLine(o);
  // The two files are one unit per case: the observation lines first, then
  // the case line; when the case line cannot be written, its observation
  // lines are taken back, so both files end on the same whole case.
  const long long before = observations_.Size();
  const bool written = observations_.Append(lines, error);
  if (!written || !quality_.Append(FormatQualityLine(q.row), error)) {
    if (written) observations_.TakeBack(before);
    End();
    last_ = CaseQuality{};
    error = "The quality files of case " + std::to_string(caseNumber) + " in \"" + workFolder_ +
            "\" cannot be written: " + error + ". The run goes on without the quality files.";
    return false;
  }
  // Counted once written: the summary describes the files.
  ++summary_.verdicts[static_cast<size_t>(q.row.verdict)];
  if (q.row.suggestedTree) ++summary_.suggestions;
  return true;
}

void QualityRun::End() {
  active_ = false;
  quality_.Close();
  observations_.Close();
}

}  // namespace treetri::quality
