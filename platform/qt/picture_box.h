// The drawing surface of the main window (Picture1): a widget that shows an
// image of its own size. Everything is painted into the image, so the picture
// survives being covered, minimised or repainted.
#pragma once

#include <QImage>
#include <QWidget>

namespace treetri {

class PictureBox : public QWidget {
 public:
  // A white surface of the given size in pixels.
  PictureBox(int width, int height, QWidget* parent = nullptr);

  QImage& Image() { return image_; }
  const QImage& Image() const { return image_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
};

}  // namespace treetri
