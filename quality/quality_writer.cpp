#include "quality/quality_writer.h"

#include "platform/files.h"

namespace treetri::quality {
namespace {

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string SummaryText(const QualitySummary& s) {
  std::string text = "quality:";
  for (size_t v = 0; v < s.verdicts.size(); ++v) {
    text += (v == 0 ? " " : ", ") + std::to_string(s.verdicts[v]) + " " +
            VerdictWord(static_cast<Verdict>(v));
  }
  return text + "; " + std::to_string(s.suggestions) +
         (s.suggestions == 1 ? " suggested replacement" : " suggested replacements");
}

bool QualityRun::Begin(const Tables& t, std::string& error) {
  active_ = false;
  summary_ = QualitySummary{};
  maps_ = std::make_unique<PlotMaps>(t.PhotoTrees);
  qualityPath_ = t.WorkFolder + kQualityFileName;
  observationsPath_ = t.WorkFolder + kObservationsFileName;
  for (const auto& [path, header] : {std::pair{qualityPath_, QualityHeaderLine()},
                                     std::pair{observationsPath_, ObservationHeaderLine()}}) {
    if (!WriteWholeFile(path, header, error)) {
      error = "The quality file \"" + path + "\" cannot be written: " + error +
              ". The run goes on without the quality files.";
      return false;
    }
  }
  active_ = true;
  return true;
}

bool QualityRun::AddCase(const Tables& t, int caseNumber, const std::string& legacyStatus,
                         std::string& error) {
  if (!active_) return true;
  const CaseQuality q = AssessCase(CaseInputFromRun(t, caseNumber, *maps_, Trimmed(legacyStatus)));
  ++summary_.verdicts[static_cast<size_t>(q.row.verdict)];
  if (q.row.suggestedTree) ++summary_.suggestions;
  std::string lines;
  for (const ObservationRow& o : q.observations) lines += FormatObservationLine(o);
  if (!AppendToFile(observationsPath_, lines, error) ||
      !AppendToFile(qualityPath_, FormatQualityLine(q.row), error)) {
    active_ = false;
    error = "The quality files of case " + std::to_string(caseNumber) + " in \"" + t.WorkFolder +
            "\" cannot be written: " + error + ". The run goes on without the quality files.";
    return false;
  }
  return true;
}

}  // namespace treetri::quality
