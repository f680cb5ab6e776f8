#include "app/case_edits.h"

#include <cmath>

#include "data/sighting_record.h"
#include "positioning/case_steps.h"
#include "quality/map_index.h"
#include "quality/network_files.h"

namespace treetri {

CaseEdits::CaseEdits(const InputData& input, const RunSettings& lastRun, std::string folder,
                     views::CaseResults& results,
                     std::optional<quality::NetworkOptions> network)
    : recomputer_(std::make_unique<CaseRecomputer>(input, lastRun)),
      folder_(std::move(folder)),
      results_(results),
      maps_(std::make_unique<quality::PlotMaps>(input.PhotoTrees)),
      network_(network) {}

CaseEdits::~CaseEdits() = default;

const TargetTree* CaseEdits::Record(int caseNumber) const {
  const InputData& in = recomputer_->Input();
  if (caseNumber < 1 || caseNumber > in.TargetTrees.Size() || caseNumber > in.TargetTreeCount)
    return nullptr;
  return &in.TargetTrees[caseNumber];
}

Correction CaseEdits::Line(int caseNumber, int slot, CorrectionField field,
                           const std::string& newValue) const {
  Correction c;
  c.time = IsoTimeNow();
  c.slot = slot;
  c.field = field;
  c.newValue = newValue;
  c.reason = "edited on the plot map";
  if (const TargetTree* r = Record(caseNumber)) {
    c.plot = r->Plot;
    c.tree = r->Tree;
    c.oldValue = CorrectionFieldText(*r, slot, field);
  }
  if (const quality::CaseQuality* q = results_.Find(caseNumber)) {
    c.verdict = quality::VerdictWord(q->row.verdict);
    if (q->row.suspectKind != quality::SuspectKind::None)
      c.suspectKind = quality::SuspectKindWord(q->row.suspectKind);
  }
  return c;
}

bool CaseEdits::ApplyAndRecord(const Correction& c, std::string& error) {
  int caseNumber = 0;
  if (!recomputer_->Apply(c, caseNumber, error)) return false;
  if (!RecordCorrection(folder_, c, error)) {
    // Not on disk: the copy goes back to what the file says.
    int ignored = 0;
    std::string undoError;
    recomputer_->Apply(InverseCorrection(c, c.time), ignored, undoError);
    return false;
  }
  lastChanged_.clear();
  // A case keeps what the run made of it once the edit changed it: the
  // edited case always, another case of the plot when its verdict, suspect
  // or position (by 1 mm or more) changed.
  const auto changed = [](const quality::CaseAssessment& a, const quality::CaseAssessment& b) {
    const bool moved = a.x.has_value() != b.x.has_value() ||
                       (a.x && b.x && a.y && b.y && std::hypot(*a.x - *b.x, *a.y - *b.y) >= 1e-3);
    return moved || a.verdict != b.verdict || a.suspectKind != b.suspectKind ||
           a.suspectTree != b.suspectTree || a.suggestedTree != b.suggestedTree;
  };
  const auto put = [&, this](quality::CaseQuality q) {
    const int n = q.row.caseNumber;
    if (const quality::CaseQuality* was = results_.Find(n))
      if (n == caseNumber || changed(q.row, was->row)) before_.emplace(n, *was);
    lastChanged_.push_back(n);
    results_.Add(std::move(q));
  };
  RecomputedCase r;
  if (network_) {
    // The network ties the plot's cases together: all of them may change.
    CaseRecomputer::PlotRecompute p = recomputer_->RecomputePlot(caseNumber, *network_);
    r = std::move(p.edited);
    for (const quality::NetworkCaseResult& c : p.plot.cases) put(quality::NetworkCaseQuality(c));
  } else {
    r = recomputer_->Recompute(caseNumber);
    put(std::move(r.quality));
  }
  if (r.legacy.Has(LegacyFigure::Position))
    results_.SetLegacyPosition(caseNumber, r.legacy.X_adj, r.legacy.Y_adj);
  lastCase_ = caseNumber;
  return true;
}

bool CaseEdits::Edit(const Correction& c, std::string& error) {
  if (!ApplyAndRecord(c, error)) return false;
  done_.push_back(c);
  return true;
}

bool CaseEdits::Undo(std::string& error) {
  if (done_.empty()) {
    error = "There is no edit to undo.";
    return false;
  }
  if (!ApplyAndRecord(InverseCorrection(done_.back(), IsoTimeNow()), error)) return false;
  done_.pop_back();
  return true;
}

const quality::CaseQuality* CaseEdits::Before(int caseNumber) const {
  const auto it = before_.find(caseNumber);
  return it == before_.end() ? nullptr : &it->second;
}

std::vector<int> CaseEdits::TreesNearSighting(int caseNumber, int slot, size_t k) const {
  std::vector<int> trees;
  const TargetTree* r = Record(caseNumber);
  if (!r || slot < 1 || slot > kFileSlots) return trees;
  const quality::PlotIndex& index = *maps_->Plot(r->Plot);
  // Where the sighting ends: from the field tree's position along the
  // corrected azimuth; without a position, a distance or an azimuth, the
  // sighted map tree itself.
  std::optional<std::array<double, 2>> at;
  const quality::CaseQuality* q = results_.Find(caseNumber);
  if (q && q->row.x && q->row.y) at = std::array<double, 2>{*q->row.x, *q->row.y};
  else if (const auto* legacy = results_.LegacyPosition(caseNumber)) at = *legacy;
  double x = 0, y = 0;
  const double d = r->Distance[slot], a = r->Azimuth[slot];
  if (at && d > kNotMeasured && a > kNotMeasured) {
    const double direction =
        AzimuthToDirection(CorrectAzimuth(a, recomputer_->Parameters().AzimuthCorrection));
    x = (*at)[0] + d * std::cos(direction);
    y = (*at)[1] + d * std::sin(direction);
  } else if (const quality::MapTree* m = index.Find(r->SightedTree[slot])) {
    x = m->x;
    y = m->y;
  } else if (at) {
    x = (*at)[0];
    y = (*at)[1];
  } else {
    return trees;
  }
  for (const quality::MapTree* m : index.Best(quality::NearPoint(x, y), k)) trees.push_back(m->tree);
  return trees;
}

}  // namespace treetri
