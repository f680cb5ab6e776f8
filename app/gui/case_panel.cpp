#include "app/gui/case_panel.h"

#include <cmath>

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/gui/plot_map_view.h"
#include "app/gui/row_texts.h"

namespace treetri {

namespace {

const QStringList kObservationColumns = {"slot", "tree", "kind", "observed", "v", "r",
                                         "w",    "gross error", "MDB", "control"};

QString CaseHtml(const quality::QualityRow& r) {
  const QColor colour = mapstyle::ToQColor(views::VerdictColour(r.verdict));
  QString html = QString("<b>Case %1</b> &nbsp;plot %2, tree %3, species %4<br>")
                     .arg(r.caseNumber).arg(r.plot).arg(r.tree).arg(r.species);
  html += QString("verdict <b style='color:%1'>%2</b> &nbsp;legacy status: %3<br>")
              .arg(colour.name(), quality::VerdictWord(r.verdict),
                   QString::fromStdString(views::ShownText(r.legacyStatus)).toHtmlEscaped());
  if (r.x && r.y)
    html += QString("X %1 &nbsp;Y %2<br>").arg(*r.x, 0, 'f', 3).arg(*r.y, 0, 'f', 3);
  if (r.sigma0)
    html += QString("σ0 %1 (global test %2), redundancy %3, %4 sightings<br>")
                .arg(*r.sigma0, 0, 'f', 3)
                .arg(quality::GlobalTestWord(r.globalTest))
                .arg(r.redundancy ? QString::number(*r.redundancy) : QString("–"))
                .arg(r.usedSightings ? QString::number(*r.usedSightings) : QString("–"));
  if (r.conf95A && r.ellipseAzimuth)
    html += QString("95 % ellipse %1 m, major axis at %2°<br>")
                .arg(EllipseText(r))
                .arg(*r.ellipseAzimuth, 0, 'f', 1);
  if (!SuspectText(r).isEmpty()) {
    html += "suspect: " + SuspectText(r);
    if (r.suspectGrossError) html += QString(", gross error %1").arg(*r.suspectGrossError, 0, 'f', 3);
    html += "<br>";
  }
  if (r.suggestedTree)
    html += QString("<span style='color:%1'>suggested tree %2 (σ0 %3)</span><br>")
                .arg(mapstyle::kSuggested.name())
                .arg(*r.suggestedTree)
                .arg(NumberText(r.suggestedSigma0, 3));
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
  setMinimumWidth(470);
}

void CasePanel::Show(const quality::CaseQuality* c, int plot) {
  observations_->setRowCount(0);
  if (!c) {
    caseLine_->setText(plot ? QString("Plot %1: no case selected. Click a field tree.").arg(plot)
                            : QString("No results yet: run the positioning."));
    return;
  }
  caseLine_->setText(CaseHtml(c->row));

  observations_->setRowCount(static_cast<int>(c->observations.size()));
  int row = 0;
  for (const quality::ObservationRow& o : c->observations) {
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
                               quality::ControlWord(o.control)};
    for (int col = 0; col < cells.size(); ++col) {
      auto* item = new QTableWidgetItem(cells[col]);
      if (col != 2 && col != 9) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (col == 6 && o.w && std::fabs(*o.w) >= views::kWarningW)
        item->setForeground(mapstyle::ToQColor(views::WColour(std::fabs(*o.w))));
      observations_->setItem(row, col, item);
    }
    ++row;
  }
}

}  // namespace treetri
