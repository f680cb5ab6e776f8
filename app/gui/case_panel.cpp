#include "app/gui/case_panel.h"

#include <cmath>

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/gui/plot_map_view.h"
#include "app/gui/row_texts.h"
#include "quality/quality_files.h"

namespace treetri {

namespace {

const QStringList kObservationColumns = {"slot", "tree",        "kind", "observed", "v",
                                         "r",    "w",           "gross error", "MDB", "control",
                                         "confusable"};

QString CaseHtml(const quality::CaseAssessment& r) {
  const QColor colour = mapstyle::ToQColor(views::VerdictColour(r.verdict));
  QString html = QString("<b>Case %1</b> &nbsp;plot %2, tree %3, species %4<br>")
                     .arg(r.caseNumber).arg(r.plot).arg(r.tree).arg(r.species);
  html += QString("verdict <b style='color:%1'>%2</b> &nbsp;legacy status: %3<br>")
              .arg(colour.name(), quality::VerdictWord(r.verdict),
                   QString::fromStdString(views::ShownText(r.legacyStatus)).toHtmlEscaped());
  if (r.networkFigures)
    html += r.networkFigures->network
                ? QString("method: plot network (σ0 and global test are the plot's)<br>")
                : QString("method: per case (its sightings share no map tree with the plot's "
                          "other field trees)<br>");
  if (r.x && r.y)
    html += QString("X %1 &nbsp;Y %2<br>").arg(*r.x, 0, 'f', 3).arg(*r.y, 0, 'f', 3);
  if (r.sigma0)
    html += QString("σ0 %1 (global test %2), redundancy %3, %4 sightings<br>")
                .arg(*r.sigma0, 0, 'f', 3)
                .arg(quality::GlobalTestWord(r.globalTest))
                .arg(r.redundancy ? QString::number(*r.redundancy) : QString("–"))
                .arg(r.usedSightings ? QString::number(*r.usedSightings) : QString("–"));
  if (r.verdict == quality::Verdict::Ok && r.globalTest == quality::GlobalTest::Fail)
    html += QString("<i>Verdict ok although the global test fails: no single observation's "
                    "|w| exceeds the critical %1 (largest %2), so no one sighting stands out. "
                    "The observations as a whole scatter more than their standard errors allow: "
                    "check the standard errors of the parameter file or the largest |w| below."
                    "</i><br>")
                .arg(quality::kCriticalW)
                .arg(NumberText(r.maxW, 2));
  if (r.conf95A && r.ellipseAzimuth)
    html += QString("95 % ellipse %1 m, major axis at %2°<br>")
                .arg(EllipseText(r))
                .arg(*r.ellipseAzimuth, 0, 'f', 1);
  if (!SuspectText(r).isEmpty()) {
    html += "suspect: " + SuspectText(r);
    if (r.suspectGrossError) html += QString(", gross error %1").arg(*r.suspectGrossError, 0, 'f', 3);
    html += "<br>";
  }
  if (r.suggestedTree) {
    html += QString("<span style='color:%1'>suggested tree %2 (σ0 %3)</span>")
                .arg(mapstyle::kSuggested.name())
                .arg(*r.suggestedTree)
                .arg(NumberText(r.suggestedSigma0, 3));
    // The runner-up and how much better the suggestion fits: a clear choice
    // or a coin toss.
    if (r.networkFigures && r.networkFigures->runnerUp)
      html += QString(", runner-up tree %1, better by %2 in the test statistic")
                  .arg(*r.networkFigures->runnerUp)
                  .arg(NumberText(r.networkFigures->evidence, 2));
    html += "<br>";
  }
  if (r.networkFigures && r.networkFigures->confusable.value_or(0) > 0)
    html += QString("<span style='color:%1'>%2 sighting(s) confusable: a confusion with the tree "
                    "named in the observations could not be seen; check in the field</span><br>")
                .arg(mapstyle::ToQColor(views::ConfusableColour()).name())
                .arg(*r.networkFigures->confusable);
  if (!r.warnings.empty())
    html += "<i>" + QString::fromStdString(views::ShownText(r.warnings)).toHtmlEscaped() + "</i>";
  return html;
}

}  // namespace

CasePanel::CasePanel(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  caseLine_ = new QLabel("No case selected.");
  caseLine_->setWordWrap(true);
  caseLine_->setTextFormat(Qt::RichText);
  caseLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  caseLine_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  observations_ = new QTableWidget(0, static_cast<int>(kObservationColumns.size()));
  observations_->setHorizontalHeaderLabels(kObservationColumns);
  observations_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  observations_->verticalHeader()->hide();
  observations_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  observations_->verticalHeader()->setDefaultSectionSize(observations_->fontMetrics().height() + 6);
  observations_->setAlternatingRowColors(true);
  layout->addWidget(caseLine_);
  layout->addWidget(new QLabel("<b>Observations</b>"));
  layout->addWidget(observations_, 1);

  sightings_ = new QTableWidget(0, 4);
  sightings_->setObjectName("Sightings");
  sightings_->setHorizontalHeaderLabels({"slot", "tree", "distance", "azimuth"});
  sightings_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sightings_->setSelectionBehavior(QAbstractItemView::SelectRows);
  sightings_->setSelectionMode(QAbstractItemView::SingleSelection);
  sightings_->verticalHeader()->hide();
  sightings_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  sightings_->verticalHeader()->setDefaultSectionSize(sightings_->fontMetrics().height() + 6);
  sightings_->setMaximumHeight(6 * (sightings_->fontMetrics().height() + 6) + 8);
  sightings_->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* bar = new QToolBar;
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  const char* captions[] = {"Use suggested tree", "Set tree…", "Drop distance", "Drop azimuth",
                            "Drop sighting", "Edit distance / azimuth…"};
  for (size_t k = 0; k < edits_.size(); ++k) {
    const auto kind = static_cast<SightingEdit>(k);
    edits_[k] = new QAction(captions[k], this);
    connect(edits_[k], &QAction::triggered, this, [this, kind] {
      if (onEdit && SelectedSlot() > 0) onEdit(kind, SelectedSlot());
    });
    bar->addAction(edits_[k]);
    sightings_->addAction(edits_[k]);
  }
  connect(sightings_, &QTableWidget::itemSelectionChanged, this, [this] { UpdateActions(); });
  editNote_ = new QLabel;
  editNote_->setWordWrap(true);
  layout->addWidget(new QLabel("<b>Sightings</b>"));
  layout->addWidget(sightings_);
  layout->addWidget(bar);
  layout->addWidget(editNote_);
  UpdateActions();
  setMinimumWidth(470);
}

void CasePanel::ShowSightings(const std::vector<ShownSighting>& sightings, int suspectSlot,
                              std::optional<int> suggestedTree, bool editable,
                              const QString& note) {
  suspectSlot_ = suspectSlot;
  suggested_ = suggestedTree;
  editable_ = editable;
  editNote_->setText(note);
  editNote_->setVisible(!note.isEmpty());
  sightings_->setRowCount(static_cast<int>(sightings.size()));
  int row = 0;
  for (const ShownSighting& s : sightings) {
    const QStringList cells = {QString::number(s.slot), QString::number(s.tree), s.distance,
                               s.azimuth};
    for (int col = 0; col < cells.size(); ++col) {
      auto* item = new QTableWidgetItem(cells[col]);
      item->setData(Qt::UserRole, s.slot);
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (s.slot == suspectSlot) item->setForeground(mapstyle::ToQColor(views::WColour(100)));
      sightings_->setItem(row, col, item);
    }
    ++row;
  }
  SelectSlot(suspectSlot > 0 ? suspectSlot : (sightings.empty() ? 0 : sightings.front().slot));
  UpdateActions();
}

int CasePanel::SelectedSlot() const {
  const QList<QTableWidgetItem*> items = sightings_->selectedItems();
  return items.isEmpty() ? 0 : items.front()->data(Qt::UserRole).toInt();
}

void CasePanel::SelectSlot(int slot) {
  sightings_->clearSelection();
  for (int row = 0; row < sightings_->rowCount(); ++row)
    if (sightings_->item(row, 0)->data(Qt::UserRole).toInt() == slot) sightings_->selectRow(row);
}

void CasePanel::UpdateActions() {
  const int slot = SelectedSlot();
  for (QAction* a : edits_) a->setEnabled(editable_ && slot > 0);
  QAction* use = edits_[static_cast<size_t>(SightingEdit::UseSuggested)];
  // A suggested tree replaces the suspect sighting's tree.
  use->setText(suggested_ ? QString("Use suggested tree %1").arg(*suggested_)
                          : QString("Use suggested tree"));
  use->setEnabled(editable_ && suggested_ && slot > 0 && slot == suspectSlot_);
}

void CasePanel::Show(const quality::CaseQuality* c, int plot) {
  observations_->setRowCount(0);
  ShowSightings({}, 0, std::nullopt, false, QString());
  if (!c) {
    caseLine_->setText(plot ? QString("Plot %1: no case selected. Click a field tree.").arg(plot)
                            : QString("No results yet: run the positioning."));
    return;
  }
  caseLine_->setText(CaseHtml(c->row));

  observations_->setRowCount(static_cast<int>(c->observations.size()));
  int row = 0;
  for (const quality::ObservationAssessment& o : c->observations) {
    const int decimals = o.kind == quality::ObservationKind::Azimuth ? 4 : 3;
    const QStringList cells = {QString::number(o.slot),
                               QString::number(o.sightedTree),
                               quality::KindWord(o.kind),
                               QString::number(o.observed, 'f', decimals),
                               QString::number(o.residual, 'f', decimals),
                               RedundancyNumberText(o.redundancyNumber),
                               NumberText(o.w, 2),
                               NumberText(o.grossError, decimals),
                               NumberText(o.mdb, decimals),
                               quality::ControlWord(o.control),
                               o.confusableTree ? QString("tree %1 (%2 m)")
                                                      .arg(*o.confusableTree)
                                                      .arg(NumberText(o.confusableDistance, 2))
                                                : QString()};
    for (int col = 0; col < cells.size(); ++col) {
      auto* item = new QTableWidgetItem(cells[col]);
      if (col == 10) item->setForeground(mapstyle::ToQColor(views::ConfusableColour()));
      if (col != 2 && col < 9) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (col == 6 && o.w && std::fabs(*o.w) >= views::kWarningW)
        item->setForeground(mapstyle::ToQColor(views::WColour(std::fabs(*o.w))));
      observations_->setItem(row, col, item);
    }
    ++row;
  }
}

}  // namespace treetri
