// The results table's model: one row per case (case, plot, tree, legacy
// status, verdict, σ0, ellipse, suspect, suggestion, method ("network" or
// "case", empty for a per-case run), confusable sightings, warnings and, for a case
// edited since the run, what it was before), each cell with a value to sort
// by and its case number; and the filter that shows the rows
// matching a text and, on request, only the outliers.
#pragma once

#include <unordered_map>
#include <utility>
#include <vector>

#include <QSortFilterProxyModel>
#include <QStandardItemModel>

#include "views/plot_scene.h"

namespace treetri {

class ResultsModel : public QStandardItemModel {
 public:
  // The value a column sorts by, and the case of every cell.
  static constexpr int kSortRole = Qt::UserRole + 1;
  static constexpr int kCaseRole = Qt::UserRole + 2;
  enum Column { CaseColumn, PlotColumn, TreeColumn, StatusColumn, VerdictColumn, Sigma0Column,
                EllipseColumn, SuspectColumn, SuggestionColumn, MethodColumn, ConfusableColumn,
                WarningsColumn, BeforeColumn };

  explicit ResultsModel(QObject* parent = nullptr);
  // Every case of `results`, in their order.
  void Fill(const views::CaseResults& results);
  // Adds the case's row, or replaces it when the case has one; `before` is
  // the case as the run left it when it has been edited since.
  void Put(const quality::CaseAssessment& row, const quality::CaseAssessment* before = nullptr);
  // Puts the rows of several cases (each with its `before`, or null) as one
  // change: a sorting filter sorts once, not once for every cell.
  void PutAll(const std::vector<std::pair<const quality::CaseAssessment*, const quality::CaseAssessment*>>& rows);

 private:
  std::unordered_map<int, int> rowOfCase_;  // case number: row
};

class ResultsFilterModel : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;
  // Rows that contain `text` in any column (any case) and, with
  // onlyOutliers, have the verdict outlier.
  void Set(const QString& text, bool onlyOutliers);

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

 private:
  QString text_;
  bool onlyOutliers_ = false;
};

}  // namespace treetri
