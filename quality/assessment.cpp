#include "quality/assessment.h"

#include <cmath>

namespace treetri::quality {

SuspectKind SuspectKindOf(ObservationKind k) {
  return static_cast<SuspectKind>(static_cast<int>(k) + 1);
}

int SuspectSlot(const CaseAssessment& row, const std::vector<ObservationAssessment>& observations) {
  if (!row.suspectTree || row.suspectKind == SuspectKind::None ||
      row.suspectKind == SuspectKind::Sighting || row.suspectKind == SuspectKind::MapTree ||
      row.suspectKind == SuspectKind::SightingOrMapTree)
    return 0;
  int slot = 0;
  double nearest = 0;
  for (const ObservationAssessment& o : observations) {
    if (o.caseNumber != row.caseNumber || o.sightedTree != *row.suspectTree ||
        SuspectKindOf(o.kind) != row.suspectKind)
      continue;
    const double miss = o.w && row.suspectW ? std::fabs(*o.w - *row.suspectW) : HUGE_VAL;
    if (slot == 0 || miss < nearest) {
      slot = o.slot;
      nearest = miss;
    }
  }
  return slot;
}

}  // namespace treetri::quality
