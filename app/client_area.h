// The main window's client area: the drawing surface (Picture1) on the left,
// the results list (List1) on the right and the run's progress row under the
// list. At its usual size (1006 x 538 pixels) every element has the legacy
// geometry; a larger or smaller window gives the list and the drawing the
// room: the drawing stays a square as tall as the room allows, the list
// takes the width and height left.
#pragma once

#include <QWidget>

namespace treetri {

class ClientArea : public QWidget {
 public:
  static constexpr int kWidth = 1006, kHeight = 538;

  explicit ClientArea(QWidget* parent = nullptr);

  // The elements laid out; any may be null.
  void SetElements(QWidget* picture, QWidget* list, QWidget* progress, QWidget* cancel);

  QSize sizeHint() const override { return {kWidth, kHeight}; }
  QSize minimumSizeHint() const override;

  // The geometry of each element for a client area of the given size.
  struct Geometry {
    QRect picture, list, progress, cancel;
  };
  static Geometry LayoutFor(QSize size);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QWidget* picture_ = nullptr;
  QWidget* list_ = nullptr;
  QWidget* progress_ = nullptr;
  QWidget* cancel_ = nullptr;
};

}  // namespace treetri
