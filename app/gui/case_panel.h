// The case panel of the plot map: the selected case's quality line (verdict,
// position, σ0 and global test, ellipse, suspect, suggestion, warnings) and
// its observations with residuals, redundancy numbers, w-tests and MDB; and
// its sightings as the sighting file (with the edits so far) holds them,
// with the commands that edit the selected one.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include <QWidget>

#include "views/plot_scene.h"

class QAction;
class QLabel;
class QTableWidget;

namespace treetri {

// What an edit of one sighting (slot) does.
enum class SightingEdit { UseSuggested, SetTree, DropDistance, DropAzimuth, DropSighting, EditValues };

// One sighting of the shown case, its values as the sighting file writes
// them ("-1": not measured).
struct ShownSighting {
  int slot = 0;
  int tree = 0;
  QString distance, azimuth;
};

class CasePanel : public QWidget {
 public:
  explicit CasePanel(QWidget* parent = nullptr);
  // Shows the case, or without one (null) what to do in `plot` (0: none).
  void Show(const quality::CaseQuality* c, int plot);

  // The case's sightings; `suspectSlot` (0: none) is selected first and is
  // the one a suggested tree replaces. Without `editable` the commands are
  // off and `note` says why.
  void ShowSightings(const std::vector<ShownSighting>& sightings, int suspectSlot,
                     std::optional<int> suggestedTree, bool editable, const QString& note);
  // The slot of the selected sighting (0: none).
  int SelectedSlot() const;
  void SelectSlot(int slot);

  // Called with an edit command and the selected sighting's slot.
  std::function<void(SightingEdit, int slot)> onEdit;

  QLabel* CaseLine() const { return caseLine_; }
  QTableWidget* ObservationsTable() const { return observations_; }
  QTableWidget* SightingsTable() const { return sightings_; }
  QAction* EditAction(SightingEdit kind) const { return edits_[static_cast<size_t>(kind)]; }

 private:
  void UpdateActions();

  QLabel* caseLine_;
  QTableWidget* observations_;
  QTableWidget* sightings_;
  QLabel* editNote_;
  std::array<QAction*, 6> edits_{};
  int suspectSlot_ = 0;
  std::optional<int> suggested_;
  bool editable_ = false;
};

}  // namespace treetri
