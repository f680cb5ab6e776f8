#include "core/remeasure.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

#include "platform/files.h"
#include "quality/quality_files.h"

namespace treetri {

namespace {

constexpr std::array<const char*, 5> kCheckWords = {"tree number", "distance", "azimuth",
                                                    "sighting", "position"};

std::string Number(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

// The field trees (plot, tree) that the corrections leave changed: a line
// and its undo cancel out, so a tree whose every edit was undone is still to
// be visited.
// Also the slots (plot, tree, slot) so changed, in `slots`.
std::map<std::pair<int, int>, int> NetEdits(const std::vector<Correction>& corrections,
                                            std::set<std::tuple<int, int, int>>& slots) {
  std::map<std::tuple<int, int, int, int>, std::string> original, current;
  for (const Correction& c : corrections) {
    const auto key = std::make_tuple(c.plot, c.tree, c.slot, static_cast<int>(c.field));
    if (!original.count(key)) original[key] = c.oldValue;
    current[key] = c.newValue;
  }
  std::map<std::pair<int, int>, int> edited;
  for (const auto& [key, value] : current)
    if (value != original[key]) {
      ++edited[{std::get<0>(key), std::get<1>(key)}];
      slots.insert({std::get<0>(key), std::get<1>(key), std::get<2>(key)});
    }
  return edited;
}

// What to measure again for a suspect of this kind.
RemeasureCheck CheckOf(quality::SuspectKind k) {
  using quality::SuspectKind;
  switch (k) {
    case SuspectKind::Azimuth: return RemeasureCheck::Azimuth;
    case SuspectKind::Distance: return RemeasureCheck::Distance;
    case SuspectKind::MapX:
    case SuspectKind::MapY:
    case SuspectKind::MapTree: return RemeasureCheck::Position;
    default: return RemeasureCheck::Sighting;
  }
}

// The reason of a confusable sighting.
std::string ConfusableReason(const quality::ObservationAssessment& o) {
  std::string s = "confusable with tree " + std::to_string(*o.confusableTree);
  if (o.confusableDistance)
    s += " (a confusion within " + Number(*o.confusableDistance, 2) + " m is not seen)";
  return s;
}

std::string Text(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (char ch : s) {
    if (ch == '"') q += '"';
    q += ch;
  }
  return q + "\"";
}

template <class T>
std::string Opt(const std::optional<T>& v) {
  return v ? std::to_string(*v) : std::string();
}

}  // namespace

const char* RemeasureCheckWord(RemeasureCheck c) { return kCheckWords[static_cast<size_t>(c)]; }

std::vector<RemeasureRow> BuildRemeasureList(const std::vector<quality::CaseAssessment>& rows,
                                             const std::vector<quality::ObservationAssessment>& obs,
                                             const std::vector<Correction>& corrections,
                                             const InputData* input) {
  using quality::SuspectKind;
  using quality::Verdict;
  std::set<std::tuple<int, int, int>> editedSlots;
  const auto edited = NetEdits(corrections, editedSlots);
  // The confusable sightings of each case (plot network runs): one per slot.
  std::map<int, std::map<int, const quality::ObservationAssessment*>> confusable;
  for (const quality::ObservationAssessment& o : obs)
    if (o.confusableTree && o.slot > 0 && !editedSlots.count({o.plot, o.tree, o.slot}))
      confusable[o.caseNumber].emplace(o.slot, &o);
  std::vector<RemeasureRow> list;
  std::set<std::pair<int, int>> displacedListed;
  for (const quality::CaseAssessment& q : rows) {
    std::map<int, const quality::ObservationAssessment*> marked;
    if (auto it = confusable.find(q.caseNumber); it != confusable.end()) marked = it->second;
    RemeasureRow r;
    r.plot = q.plot;
    r.tree = q.tree;
    r.caseNumber = q.caseNumber;
    if (q.verdict == Verdict::Failed || q.verdict == Verdict::NotComputed) {
      r.check = RemeasureCheck::Sighting;
      r.reason = std::string("case ") + quality::VerdictWord(q.verdict) +
                 (q.warnings.empty() ? std::string() : ": " + q.warnings);
      list.push_back(r);
      continue;
    }
    r.x = q.x;
    r.y = q.y;
    // A confusion of the tree number that the network could not see: the
    // number is checked in the field.
    auto addConfusable = [&](const quality::ObservationAssessment& o) {
      RemeasureRow c = r;
      c.slot = o.slot;
      c.sightedTree = o.sightedTree;
      c.check = RemeasureCheck::TreeNumber;
      c.reason = ConfusableReason(o);
      list.push_back(c);
    };
    // A map tree found displaced is the map's fault (the field tree's own
    // verdict stands): its position is measured again, once per map tree,
    // from the first field tree that sights it.
    if (q.verdict != Verdict::Outlier && q.suspectKind == SuspectKind::MapTree && q.suspectTree &&
        displacedListed.insert({q.plot, *q.suspectTree}).second) {
      RemeasureRow m = r;
      m.sightedTree = q.suspectTree;
      for (const quality::ObservationAssessment& o : obs)
        if (o.caseNumber == q.caseNumber && o.sightedTree == *q.suspectTree && o.slot > 0) {
          m.slot = o.slot;
          break;
        }
      m.check = RemeasureCheck::Position;
      m.reason = "map tree displaced";
      if (q.suspectGrossError) m.reason += " by " + Number(*q.suspectGrossError, 2) + " m";
      if (q.suspectW) m.reason += " (test " + Number(*q.suspectW, 2) + ")";
      list.push_back(m);
    }
    if (q.verdict != Verdict::Outlier || edited.count({q.plot, q.tree})) {
      for (const auto& [slot, o] : marked) addConfusable(*o);
      continue;
    }
    r.sightedTree = q.suspectTree;
    r.suggestedTree = q.suggestedTree;
    const int slot = quality::SuspectSlot(q, obs);
    if (slot > 0) r.slot = slot;
    if (!r.slot && q.suspectTree && input && q.caseNumber >= 1 &&
        q.caseNumber <= input->TargetTreeCount && q.caseNumber <= input->TargetTrees.Size()) {
      const TargetTree& t = input->TargetTrees[q.caseNumber];
      for (int k = 1; k <= kFileSlots && !r.slot; ++k)
        if (t.SightedTree[k] == *q.suspectTree) r.slot = k;
    }
    r.check = CheckOf(q.suspectKind);
    // A better fitting tree: the number is the first thing to check.
    if (q.suggestedTree) r.check = RemeasureCheck::TreeNumber;
    r.reason = std::string("outlier: ") + quality::SuspectKindWord(q.suspectKind);
    if (q.suspectW) r.reason += " w " + Number(*q.suspectW, 2);
    if (q.suggestedTree) r.reason += "; tree " + std::to_string(*q.suggestedTree) + " fits";
    // The suspect sighting's own mark joins its line.
    if (auto m = r.slot ? marked.find(*r.slot) : marked.end(); m != marked.end()) {
      r.reason += "; " + ConfusableReason(*m->second);
      marked.erase(m);
    }
    const RemeasureRow base = r;
    list.push_back(r);
    // The plot network's other removals of the case, each its own line.
    for (const quality::RemovedSighting& o : quality::RemovedSightingsIn(q.warnings)) {
      RemeasureRow a = base;
      a.slot = o.slot;
      a.sightedTree = o.tree;
      a.suggestedTree.reset();
      a.check = CheckOf(o.kind);
      a.reason = std::string("also removed: ") + quality::SuspectKindWord(o.kind) + " test " +
                 Number(o.statistic, 2);
      if (auto m = marked.find(o.slot); m != marked.end()) {
        a.reason += "; " + ConfusableReason(*m->second);
        marked.erase(m);
      }
      list.push_back(a);
    }
    for (const auto& [slot, o] : marked) addConfusable(*o);
  }
  std::stable_sort(list.begin(), list.end(), [](const RemeasureRow& a, const RemeasureRow& b) {
    return std::make_tuple(a.plot, a.tree, a.caseNumber, a.slot.value_or(0)) <
           std::make_tuple(b.plot, b.tree, b.caseNumber, b.slot.value_or(0));
  });
  return list;
}

std::string RemeasureText(const std::vector<RemeasureRow>& rows) {
  std::string text;
  for (const char* c : kRemeasureColumns) text += (text.empty() ? "" : ",") + std::string(c);
  text += "\r\n";
  for (const RemeasureRow& r : rows)
    text += std::to_string(r.plot) + "," + std::to_string(r.tree) + "," +
            std::to_string(r.caseNumber) + "," + Opt(r.slot) + "," + Opt(r.sightedTree) + "," +
            RemeasureCheckWord(r.check) + "," + Text(r.reason) + "," + Opt(r.suggestedTree) + "," +
            (r.x ? Number(*r.x, 4) : "") + "," + (r.y ? Number(*r.y, 4) : "") + "\r\n";
  return text;
}

bool WriteRemeasureFile(const std::string& path, const std::vector<RemeasureRow>& rows,
                        std::string& error) {
  std::string reason;
  if (WriteWholeFile(path, RemeasureText(rows), reason)) return true;
  error = "The re-measure list \"" + path + "\" cannot be written: " + reason + ".";
  return false;
}

std::vector<gis::RemeasureFeature> RemeasureFeatures(const std::vector<RemeasureRow>& rows) {
  std::vector<gis::RemeasureFeature> features;
  for (const RemeasureRow& r : rows)
    features.push_back({r.plot, r.tree, r.caseNumber, r.slot, r.sightedTree,
                        RemeasureCheckWord(r.check), r.reason, r.suggestedTree, r.x, r.y});
  return features;
}

bool WriteRemeasureFileOfRun(const InputData& input, const std::string& workFolder,
                             const std::vector<Correction>& corrections, const std::string& path,
                             std::string& error) {
  std::vector<quality::CaseAssessment> rows;
  std::vector<quality::ObservationAssessment> obs;
  for (const quality::FileReadStatus& st :
       {quality::ReadQualityFile(workFolder + quality::kQualityFileName, rows),
        quality::ReadObservationsFile(workFolder + quality::kObservationsFileName, obs)})
    if (!st.ok) {
      error = "The re-measure list needs the quality file \"" + st.path + "\": line " +
              std::to_string(st.line) + ": " + st.message + ".";
      return false;
    }
  return WriteRemeasureFile(path, BuildRemeasureList(rows, obs, corrections, &input), error);
}

}  // namespace treetri
