// The coordinate reference system of an export, chosen from the systems
// the PROJ database knows (searched by code or name) or typed (any
// definition GDAL accepts; empty for none), and the system last used for a
// work folder, remembered in the user's settings.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QListWidget;

namespace treetri {

class CrsDialog : public QDialog {
 public:
  // `crs`: the text offered (the folder's system, or the last one given).
  explicit CrsDialog(const QString& crs, QWidget* parent = nullptr);

  // The system chosen or typed, trimmed.
  QString Crs() const;
  // Shows only the systems every word of `text` is found in.
  void Search(const QString& text);
  // The systems shown, in order, as "EPSG:NNNN".
  QStringList Shown() const;
  // Takes the system of the row shown at `row` (0-based) into the text.
  void Choose(int row);

  // Runs the dialog; false when it was cancelled (crs unchanged).
  static bool Ask(QWidget* parent, QString& crs);

 private:
  QLineEdit* search_;
  QListWidget* list_;
  QLineEdit* crs_;
  QLabel* area_;
};

// The system last exported in for the work folder `folder`, and whether
// there is one; `settingsPath` empty: the user's settings, else that file
// (INI).
bool RememberedCrs(const QString& folder, QString& crs, const QString& settingsPath = QString());
void RememberCrs(const QString& folder, const QString& crs, const QString& settingsPath = QString());

}  // namespace treetri
