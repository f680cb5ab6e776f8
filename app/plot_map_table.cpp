// The plot map's results table: one row per case, filtered by a text and by
// the outliers, columns sized to their contents, its highlight on the case
// the map and the panel show, and its rows exported as CSV.
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "app/gui/results_model.h"
#include "app/plot_map_window.h"
#include "platform/files.h"
#include "platform/temporary_files.h"

namespace treetri {

namespace {

// A CSV field: quoted when it holds a comma, a quote or a line break.
QString CsvField(QString text) {
  if (!text.contains(QRegularExpression("[,\"\r\n]"))) return text;
  return "\"" + text.replace("\"", "\"\"") + "\"";
}

// Cells wider than this are cut on the screen (the whole text is in the
// tooltip and the export).
constexpr int kMaxColumnWidth = 420;

}  // namespace

void PlotMapWindow::BuildResultsTab() {
  model_ = new ResultsModel(this);
  proxy_ = new ResultsFilterModel(this);
  proxy_->setSourceModel(model_);
  proxy_->setSortRole(ResultsModel::kSortRole);

  table_ = new QTableView;
  table_->setModel(proxy_);
  table_->setSortingEnabled(true);
  table_->sortByColumn(0, Qt::AscendingOrder);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setAlternatingRowColors(true);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->horizontalHeader()->setStretchLastSection(true);
  connect(table_, &QTableView::activated, this,
          [this](const QModelIndex& index) { ActivateTableRow(index); });

  filterText_ = new QLineEdit;
  filterText_->setPlaceholderText("Filter: plot, tree, status, verdict…");
  filterText_->setClearButtonEnabled(true);
  onlyOutliers_ = new QCheckBox("only outliers");
  // The highlight stays on the case shown, or goes when the filter hides it.
  auto apply = [this] {
    proxy_->Set(filterText_->text(), onlyOutliers_->isChecked());
    SelectTableRow();
  };
  connect(filterText_, &QLineEdit::textChanged, this, apply);
  connect(onlyOutliers_, &QCheckBox::toggled, this, apply);
  auto* exportTable = new QPushButton("Export table…");
  connect(exportTable, &QPushButton::clicked, this, [this] { ExportTableAsked(); });

  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* top = new QHBoxLayout;
  top->addWidget(filterText_, 1);
  top->addWidget(onlyOutliers_);
  top->addWidget(exportTable);
  layout->addLayout(top);
  layout->addWidget(table_);
  tabs_->addTab(page, "Results");
}

void PlotMapWindow::SizeTableColumns() {
  table_->resizeColumnsToContents();
  for (int c = 0; c < proxy_->columnCount(); ++c)
    if (table_->columnWidth(c) > kMaxColumnWidth) table_->setColumnWidth(c, kMaxColumnWidth);
}

void PlotMapWindow::SelectTableRow() {
  const QModelIndex current = table_->currentIndex();
  if (current.isValid() && current.data(ResultsModel::kCaseRole).toInt() == scene_.selectedCase &&
      table_->selectionModel()->isRowSelected(current.row(), QModelIndex()))
    return;
  for (int row = 0; row < proxy_->rowCount(); ++row) {
    const QModelIndex index = proxy_->index(row, 0);
    if (index.data(ResultsModel::kCaseRole).toInt() != scene_.selectedCase) continue;
    table_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table_->scrollTo(index);
    return;
  }
  // The case shown is filtered out: no other row may look like it.
  table_->selectionModel()->clearSelection();
  table_->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void PlotMapWindow::ActivateTableRow(const QModelIndex& index) {
  const int n = index.data(ResultsModel::kCaseRole).toInt();
  if (!results_.Find(n)) return;
  ShowCase(n);
  if (onCaseSelected) onCaseSelected(n);
}

bool PlotMapWindow::ExportTable(const QString& path, std::string& error) {
  if (!TargetAllowed(path, error)) return false;
  QString text;
  QStringList cells;
  for (int c = 0; c < proxy_->columnCount(); ++c)
    cells << CsvField(proxy_->headerData(c, Qt::Horizontal).toString());
  text += cells.join(',') + "\r\n";
  for (int row = 0; row < proxy_->rowCount(); ++row) {
    cells.clear();
    for (int c = 0; c < proxy_->columnCount(); ++c)
      cells << CsvField(proxy_->index(row, c).data().toString());
    text += cells.join(',') + "\r\n";
  }
  const std::string target = QFile::encodeName(path).toStdString();
  const std::string temporary = TemporaryNameBeside(target, ".csv");
  if (!WriteWholeFile(temporary, text.toStdString(), error) ||
      !ReplaceFile(temporary, target, error)) {
    RemoveFile(temporary);
    error = "The table cannot be written to \"" + target + "\": " + error + ".";
    return false;
  }
  return true;
}

void PlotMapWindow::ExportTableAsked() {
  QString type;
  QString path = askSaveFile("Export table", "CSV file (*.csv)", "results-table.csv", type);
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += ".csv";
  std::string error;
  if (!ExportTable(path, error)) showMessage(QString::fromStdString(error));
  else statusBar()->showMessage("Saved " + path, 5000);
}

}  // namespace treetri
