// The user-interface operations over Qt Widgets: message boxes, the shared
// file-open dialog, the results list (a QListWidget) and the drawing surface
// (a PictureBox, painted through QPainter into its image).
//
// Message boxes and the file dialog can be routed through hooks: the scripted
// start sends messages to standard error, and the tests record them instead
// of waiting for a modal dialog.
#pragma once

#include <functional>
#include <string>

#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QStringList>

#include "platform/ui.h"

class QListWidget;
class QWidget;

namespace treetri {

class PictureBox;

// The file-dialog filter "Description|pattern[|Description|pattern...]" as a
// Qt name filter "Description (pattern)[;;...]". Several patterns of one entry,
// separated by ";", become blank-separated; "*.*" lists every file, also those
// without an extension, and becomes "*".
std::string ToQtFilter(const std::string& filter);

// The font that a surface font name stands for here: the Windows names map to
// their metric-compatible Liberation families. Text is drawn without
// antialiasing, in the given point size and weight.
QFont ToQFont(const FontSpec& font);

inline QColor ToQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

class QtUi : public UserInterface {
 public:
  // The list and the surface belong to the window; dialogParent is the window
  // over which message boxes and the file dialog open.
  QtUi(QListWidget* list, PictureBox* picture, QWidget* dialogParent);

  void MessageBox(const std::string& text) override;
  void ListClear() override;
  void ListAdd(const std::string& line) override;
  int ListSelectedIndex() const override;
  double ScaleWidth() const override;
  double ScaleHeight() const override;
  void ProcessEvents() override;

  // The list's lines enter the widget in groups: at a message box, when the
  // list is read or cleared, at a Refresh, and at ProcessEvents when
  // kRefreshMilliseconds have passed since the last group.
  static constexpr int kRefreshMilliseconds = 100;
  void FlushList() const;
  // Shows the lines added so far and lets the window repaint and take input.
  void Refresh();
  // How often the list's widget was rebuilt or grown (each lays out the
  // whole list).
  int ListLayouts() const { return listLayouts_; }

  // The folder in which the file dialog opens.
  void SetStartFolder(const std::string& folder) { startFolder_ = folder; }

  // When set, messages go here instead of a modal message box.
  std::function<void(const std::string& text)> messageHook;
  // When set, it answers the file dialog: it receives the Qt name filter, the
  // title and the start folder, and returns false for a cancelled dialog.
  std::function<bool(const std::string& qtFilter, const std::string& title,
                     const std::string& folder, std::string& chosen)>
      dialogHook;
  // Called at the end of every ProcessEvents (after Qt's own processing).
  std::function<void()> onProcessEvents;

  // The application's default title of the message boxes.
  static QString MessageTitle();

 protected:
  bool DoShowOpenDialog(const std::string& filter, const std::string& title,
                        const std::string& startName, std::string& chosen) override;
  void DoClear() override;
  void DoLine(double x1, double y1, double x2, double y2, const SurfaceState& s) override;
  void DoPoint(double x, double y, Rgb color, const SurfaceState& s) override;
  void DoCircle(double x, double y, double radius, Rgb outline, const SurfaceState& s) override;
  void DoPrint(const std::string& text, const SurfaceState& s) override;

 private:
  QListWidget* list_;
  mutable QStringList pending_;
  mutable int listLayouts_ = 0;
  QElapsedTimer sinceFlush_;
  PictureBox* picture_;
  void PictureChanged();
  QElapsedTimer sincePaint_;
  bool repaintPending_ = false;
  QWidget* dialogParent_;
  std::string startFolder_;
};

}  // namespace treetri
