// The case panel of the plot map: the selected case's quality line (verdict,
// position, σ0 and global test, ellipse, suspect, suggestion, warnings) and
// its observations with residuals, redundancy numbers, w-tests and MDB.
#pragma once

#include <QWidget>

#include "views/plot_scene.h"

class QLabel;
class QTableWidget;

namespace treetri {

class CasePanel : public QWidget {
 public:
  explicit CasePanel(QWidget* parent = nullptr);
  // Shows the case, or without one (null) what to do in `plot` (0: none).
  void Show(const quality::CaseQuality* c, int plot);

  QLabel* CaseLine() const { return caseLine_; }
  QTableWidget* ObservationsTable() const { return observations_; }

 private:
  QLabel* caseLine_;
  QTableWidget* observations_;
};

}  // namespace treetri
