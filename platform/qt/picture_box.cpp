#include "platform/qt/picture_box.h"

#include <QPainter>
#include <QPaintEvent>

namespace treetri {

namespace {
// 96 dots per inch: point sizes of fonts give the same pixels everywhere.
constexpr int kDotsPerMetre = 3780;
}  // namespace

PictureBox::PictureBox(int width, int height, QWidget* parent)
    : QWidget(parent), image_(width, height, QImage::Format_RGB32) {
  image_.setDotsPerMeterX(kDotsPerMetre);
  image_.setDotsPerMeterY(kDotsPerMetre);
  image_.fill(Qt::white);
  setFixedSize(width, height);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  // Logical pixels: on a high-density screen the image is scaled up with the
  // rest of the window.
  if (size() == image_.size()) {
    p.drawImage(event->rect(), image_, event->rect());
    return;
  }
  // A window made larger or smaller than its usual size shows the same
  // drawing scaled to the room it has.
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(rect(), image_);
}

}  // namespace treetri
