// The drawing surface of the main window (Picture1): a widget that shows an
// image of its own size. Everything is painted into the image, so the picture
// survives being covered, minimised or repainted. The widget may be given
// another size than the image's (a resized window): it then shows the image
// scaled to its own size, while the drawing keeps the image's pixels.
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
