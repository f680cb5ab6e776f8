// The plot map's sighting edits: the side panel's commands on the selected
// case's sightings, the questions they ask, undo, and the case computed
// again in the map, the panel and the results table.
#include <cmath>

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QStatusBar>

#include "app/case_edits.h"
#include "app/gui/results_model.h"
#include "app/plot_map_window.h"
#include "data/sighting_record.h"
#include "positioning/case_steps.h"
#include "quality/quality_files.h"

namespace treetri {

namespace {

// How many of the plot's map trees nearest the sighting's end come first.
constexpr size_t kNearTrees = 8;

const char* const kNearMark = "  (near the sighting's end)";

bool AskValuesDialog(QWidget* parent, QString& distance, QString& azimuth) {
  QDialog dialog(parent);
  dialog.setWindowTitle("Edit distance / azimuth");
  auto* form = new QFormLayout(&dialog);
  auto* d = new QLineEdit(distance);
  auto* a = new QLineEdit(azimuth);
  form->addRow("Distance (m), empty: not measured", d);
  form->addRow("Azimuth (degrees), empty: not measured", a);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  form->addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return false;
  distance = d->text();
  azimuth = a->text();
  return true;
}

// A value as a correction writes it: "" for not measured.
QString ValueText(double v) {
  return v > kNotMeasured ? QString::fromStdString(SightingNumberText(v)) : QString();
}

}  // namespace

void PlotMapWindow::SetUpEdits() {
  panel_->onEdit = [this](SightingEdit kind, int slot) { EditSighting(kind, slot); };
  askTree = [this](const QString& caption, const QStringList& trees, QString& chosen) {
    bool ok = false;
    chosen = QInputDialog::getItem(this, "Set tree", caption, trees, 0, false, &ok);
    return ok;
  };
  askValues = [this](QString& distance, QString& azimuth) {
    return AskValuesDialog(this, distance, azimuth);
  };
}

void PlotMapWindow::ShowSightings() {
  CaseEdits* e = edits && !runInProgress_ ? edits() : nullptr;
  const quality::CaseQuality* q = results_.Find(scene_.selectedCase);
  undo_->setEnabled(e && e->CanUndo());
  if (!q) return;
  const int n = scene_.selectedCase;
  const TargetTree* r = e ? e->Record(n)
                          : (n >= 1 && n <= input_.TargetTrees.Size() && n <= input_.TargetTreeCount
                                 ? &input_.TargetTrees[n]
                                 : nullptr);
  std::vector<ShownSighting> shown;
  if (r)
    for (int k = 1; k <= std::min(r->NPA, kFileSlots); ++k)
      shown.push_back({k, r->SightedTree[k], QString::fromStdString(SightingNumberText(r->Distance[k])),
                       QString::fromStdString(SightingNumberText(r->Azimuth[k]))});
  const QString note =
      runInProgress_ ? "A run is under way: sightings can be edited after it."
      : !e           ? "Sightings can be edited after a run in this session, or on the results of "
                       "the last run with its map and sightings open."
                     : QString();
  panel_->ShowSightings(shown, quality::SuspectSlot(q->row, q->observations), q->row.suggestedTree,
                        e && r, note);
}

bool PlotMapWindow::EditSighting(SightingEdit kind, int slot) {
  CaseEdits* e = edits && !runInProgress_ ? edits() : nullptr;
  const int n = scene_.selectedCase;
  const TargetTree* r = e ? e->Record(n) : nullptr;
  if (!r || slot < 1 || slot > std::min(r->NPA, kFileSlots)) return false;
  Correction c;
  switch (kind) {
    case SightingEdit::UseSuggested: {
      const quality::CaseQuality* q = results_.Find(n);
      if (!q || !q->row.suggestedTree) return false;
      c = e->Line(n, slot, CorrectionField::Tree, std::to_string(*q->row.suggestedTree));
      c.reason = "suggested tree used";
      break;
    }
    case SightingEdit::SetTree: {
      // The trees near where the sighting ends first, then the plot's others.
      const std::vector<int> near = e->TreesNearSighting(n, slot, kNearTrees);
      QStringList trees;
      for (int t : near) trees << QString::number(t) + kNearMark;
      for (const quality::MapTree& m : scene_.mapTrees)
        if (std::find(near.begin(), near.end(), m.tree) == near.end())
          trees << QString::number(m.tree);
      QString chosen;
      if (!askTree(QString("Map tree sighted in slot %1 (now %2):").arg(slot).arg(r->SightedTree[slot]),
                   trees, chosen))
        return false;
      bool ok = false;
      const int tree = chosen.section(' ', 0, 0, QString::SectionSkipEmpty).toInt(&ok);
      if (!ok) return false;
      c = e->Line(n, slot, CorrectionField::Tree, std::to_string(tree));
      break;
    }
    case SightingEdit::DropDistance: c = e->Line(n, slot, CorrectionField::Distance, ""); break;
    case SightingEdit::DropAzimuth: c = e->Line(n, slot, CorrectionField::Azimuth, ""); break;
    case SightingEdit::DropSighting: c = e->Line(n, slot, CorrectionField::Sighting, ""); break;
    case SightingEdit::EditValues: {
      const QString oldDistance = ValueText(r->Distance[slot]), oldAzimuth = ValueText(r->Azimuth[slot]);
      QString distance = oldDistance, azimuth = oldAzimuth;
      if (!askValues(distance, azimuth)) return false;
      distance = distance.trimmed();
      azimuth = azimuth.trimmed();
      const bool d = distance != oldDistance, a = azimuth != oldAzimuth;
      if (!d && !a) return false;
      if (d && a)
        c = e->Line(n, slot, CorrectionField::Sighting,
                    distance.isEmpty() && azimuth.isEmpty()
                        ? std::string()
                        : (distance.isEmpty() ? "-1" : distance.toStdString()) + "/" +
                              (azimuth.isEmpty() ? "-1" : azimuth.toStdString()));
      else if (d)
        c = e->Line(n, slot, CorrectionField::Distance, distance.toStdString());
      else
        c = e->Line(n, slot, CorrectionField::Azimuth, azimuth.toStdString());
      break;
    }
  }
  std::string error;
  if (!e->Edit(c, error)) {
    showMessage(QString::fromStdString(error));
    return false;
  }
  AfterEdit(n);
  panel_->SelectSlot(slot);
  return true;
}

bool PlotMapWindow::UndoEdit() {
  CaseEdits* e = edits && !runInProgress_ ? edits() : nullptr;
  if (!e || !e->CanUndo()) return false;
  std::string error;
  if (!e->Undo(error)) {
    showMessage(QString::fromStdString(error));
    return false;
  }
  AfterEdit(e->LastCase());
  return true;
}

void PlotMapWindow::AfterEdit(int caseNumber) {
  const quality::CaseQuality* c = results_.Find(caseNumber);
  CaseEdits* e = edits ? edits() : nullptr;
  if (!c || !e) return;
  std::vector<std::pair<const quality::CaseAssessment*, const quality::CaseAssessment*>> rows;
  for (int n : e->LastChanged())
    if (const quality::CaseQuality* q = results_.Find(n)) {
      const quality::CaseQuality* before = e->Before(n);
      rows.push_back({&q->row, before ? &before->row : nullptr});
    }
  model_->PutAll(rows);
  if (scene_.selectedCase != caseNumber) {
    SelectCase(caseNumber);
  } else {
    Rebuild(true);
  }
  statusBar()->showMessage(QString("Case %1%4 computed again: %2, σ0 %3 (recorded in corrections.csv; "
                                   "the files change with the next run)")
                               .arg(caseNumber)
                               .arg(quality::VerdictWord(c->row.verdict))
                               .arg(c->row.sigma0 ? QString::number(*c->row.sigma0, 'f', 3) : "–")
                               .arg(e->Network() ? QString(" and its plot (%1 cases, plot network)")
                                                       .arg(e->LastChanged().size())
                                                 : QString()),
                           10000);
  if (onCaseEdited) onCaseEdited(caseNumber);
}

std::vector<SightingRay> PlotMapWindow::RaysOfUnpositionedCase() const {
  std::vector<SightingRay> rays;
  const int n = scene_.selectedCase;
  const quality::CaseQuality* q = results_.Find(n);
  if (!q || (q->row.x && q->row.y)) return rays;
  CaseEdits* e = edits ? edits() : nullptr;
  const TargetTree* r = e ? e->Record(n)
                          : (n >= 1 && n <= input_.TargetTrees.Size() && n <= input_.TargetTreeCount
                                 ? &input_.TargetTrees[n]
                                 : nullptr);
  if (!r) return rays;
  // The run's azimuth correction where known (after a run in this session).
  const double correction = e ? e->Parameters().AzimuthCorrection : 0;
  for (int k = 1; k <= std::min(r->NPA, kFileSlots); ++k) {
    const quality::MapTree* m = maps_->Find(r->Plot, r->SightedTree[k]);
    if (!m) continue;
    SightingRay ray{k, m->tree, m->x, m->y, std::nullopt, std::nullopt};
    if (r->Azimuth[k] > kNotMeasured)
      ray.direction = AzimuthToDirection(CorrectAzimuth(r->Azimuth[k], correction)) + M_PI;
    if (r->Distance[k] > kNotMeasured) ray.distance = r->Distance[k];
    if (ray.direction || ray.distance) rays.push_back(ray);
  }
  return rays;
}

void PlotMapWindow::PutEditedRows() {
  CaseEdits* e = edits ? edits() : nullptr;
  if (!e) return;
  std::vector<std::pair<const quality::CaseAssessment*, const quality::CaseAssessment*>> rows;
  for (const auto& [n, before] : e->BeforeCases())
    if (const quality::CaseQuality* c = results_.Find(n)) rows.push_back({&c->row, &before.row});
  model_->PutAll(rows);
}

}  // namespace treetri
