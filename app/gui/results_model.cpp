#include "app/gui/results_model.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include <QSignalBlocker>

#include "app/gui/plot_map_view.h"
#include "app/gui/row_texts.h"
#include "quality/quality_files.h"

namespace treetri {

namespace {

const QStringList kResultColumns = {"case",   "plot",           "tree",    "legacy status",
                                    "verdict", "σ0",            "ellipse 95 % (m)", "suspect",
                                    "suggestion", "method", "confusable", "warnings",
                                    "before edit"};

// The case as the run left it: verdict, σ0 and how far the edit moved it.
QString BeforeText(const quality::CaseAssessment& now, const quality::CaseAssessment& before) {
  QString text = QString("%1, σ0 %2").arg(quality::VerdictWord(before.verdict), NumberText(before.sigma0, 3));
  if (now.x && now.y && before.x && before.y)
    text += QString(", moved %1 m").arg(std::hypot(*now.x - *before.x, *now.y - *before.y), 0, 'f', 3);
  return text;
}

// The cells of a case's row.
QList<QStandardItem*> Row(const quality::CaseAssessment& q, const quality::CaseAssessment* before) {
  const QVariant none;
  const QString beforeText = before ? BeforeText(q, *before) : QString();
  const QString warnings = QString::fromStdString(views::ShownText(q.warnings));
  const QString method = q.networkFigures ? (q.networkFigures->network ? "network" : "case") : "";
  // Sightings marked confusable; -1 where the method marks none.
  const int confusable = q.networkFigures && q.networkFigures->confusable
                             ? *q.networkFigures->confusable
                             : -1;
  const std::vector<std::pair<QString, QVariant>> cells = {
      {QString::number(q.caseNumber), q.caseNumber},
      {QString::number(q.plot), q.plot},
      {QString::number(q.tree), q.tree},
      {QString::fromStdString(views::ShownText(q.legacyStatus)),
       QString::fromStdString(views::ShownText(q.legacyStatus))},
      {quality::VerdictWord(q.verdict), static_cast<int>(q.verdict)},
      {NumberText(q.sigma0, 3), q.sigma0 ? QVariant(*q.sigma0) : none},
      {EllipseText(q), q.conf95A ? QVariant(*q.conf95A) : none},
      {SuspectText(q), SuspectText(q)},
      {q.suggestedTree ? QString::number(*q.suggestedTree) : QString(),
       q.suggestedTree ? QVariant(*q.suggestedTree) : none},
      {method, method},
      {confusable >= 0 ? QString::number(confusable) : QString(),
       confusable >= 0 ? QVariant(confusable) : none},
      {warnings, warnings},
      {beforeText, beforeText},
  };
  QList<QStandardItem*> items;
  for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
    auto* item = new QStandardItem(cells[static_cast<size_t>(c)].first);
    item->setData(cells[static_cast<size_t>(c)].second, ResultsModel::kSortRole);
    item->setData(q.caseNumber, ResultsModel::kCaseRole);
    if (c == ResultsModel::VerdictColumn)
      item->setForeground(mapstyle::ToQColor(views::VerdictColour(q.verdict)));
    if (c == ResultsModel::ConfusableColumn && confusable > 0)
      item->setForeground(mapstyle::ToQColor(views::ConfusableColour()));
    if (c != ResultsModel::StatusColumn && c != ResultsModel::VerdictColumn &&
        c != ResultsModel::SuspectColumn && c != ResultsModel::MethodColumn &&
        c < ResultsModel::WarningsColumn)
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    items.append(item);
  }
  return items;
}

}  // namespace

ResultsModel::ResultsModel(QObject* parent)
    : QStandardItemModel(0, static_cast<int>(kResultColumns.size()), parent) {
  setHorizontalHeaderLabels(kResultColumns);
}

void ResultsModel::Fill(const views::CaseResults& results) {
  removeRows(0, rowCount());
  rowOfCase_.clear();
  for (const quality::CaseQuality& c : results.Cases()) {
    rowOfCase_[c.row.caseNumber] = rowCount();
    appendRow(Row(c.row, nullptr));
  }
}

void ResultsModel::Put(const quality::CaseAssessment& row, const quality::CaseAssessment* before) {
  // A new case's row comes whole, so that a sorting filter places it once.
  auto [at, added] = rowOfCase_.emplace(row.caseNumber, rowCount());
  const QList<QStandardItem*> items = Row(row, before);
  if (added) {
    appendRow(items);
    return;
  }
  for (int column = 0; column < items.size(); ++column) setItem(at->second, column, items[column]);
}

void ResultsModel::PutAll(
    const std::vector<std::pair<const quality::CaseAssessment*, const quality::CaseAssessment*>>& rows) {
  int first = -1, last = -1;
  {
    // The cells change unseen; the views learn of the rows once, below.
    const QSignalBlocker quiet(this);
    for (const auto& [row, before] : rows) {
      const auto at = rowOfCase_.find(row->caseNumber);
      if (at == rowOfCase_.end()) continue;
      const QList<QStandardItem*> items = Row(*row, before);
      for (int column = 0; column < items.size(); ++column) setItem(at->second, column, items[column]);
      first = first < 0 ? at->second : std::min(first, at->second);
      last = std::max(last, at->second);
    }
  }
  if (first >= 0) emit dataChanged(index(first, 0), index(last, columnCount() - 1));
  // A case without a row yet is added as Put adds it.
  for (const auto& [row, before] : rows)
    if (!rowOfCase_.count(row->caseNumber)) Put(*row, before);
}

void ResultsFilterModel::Set(const QString& text, bool onlyOutliers) {
  text_ = text.trimmed();
  onlyOutliers_ = onlyOutliers;
  invalidateFilter();
}

bool ResultsFilterModel::filterAcceptsRow(int row, const QModelIndex& parent) const {
  const QAbstractItemModel* m = sourceModel();
  if (onlyOutliers_ && m->index(row, ResultsModel::VerdictColumn, parent).data().toString() !=
                           quality::VerdictWord(quality::Verdict::Outlier))
    return false;
  if (text_.isEmpty()) return true;
  for (int c = 0; c < m->columnCount(parent); ++c)
    if (m->index(row, c, parent).data().toString().contains(text_, Qt::CaseInsensitive))
      return true;
  return false;
}

}  // namespace treetri
