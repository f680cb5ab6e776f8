#include "app/client_area.h"

#include <algorithm>

namespace treetri {

namespace {

// The legacy layout in pixels at 96 dots per inch.
constexpr int kPictureLeft = 8, kPictureTop = 16, kPictureSize = 345;
constexpr int kListLeft = 376, kListTop = 16, kListWidth = 601, kListHeight = 409;
// Gaps kept at every size: between drawing and list, right of the list and
// under it (the progress row and some air).
constexpr int kGap = kListLeft - kPictureLeft - kPictureSize;
constexpr int kRightMargin = ClientArea::kWidth - kListLeft - kListWidth;
constexpr int kBottomMargin = ClientArea::kHeight - kListTop - kListHeight;
// The run's progress bar and Cancel button, in the room under the list.
constexpr int kRunRowGap = 8, kRunRowHeight = 24, kCancelWidth = 111, kCancelGap = 10;
// The smallest useful elements.
constexpr int kMinPicture = 120, kMinListWidth = 240, kMinListHeight = 120;

}  // namespace

ClientArea::ClientArea(QWidget* parent) : QWidget(parent) {}

void ClientArea::SetElements(QWidget* picture, QWidget* list, QWidget* progress,
                             QWidget* cancel) {
  picture_ = picture, list_ = list, progress_ = progress, cancel_ = cancel;
  const Geometry g = LayoutFor(size());
  if (picture_) picture_->setGeometry(g.picture);
  if (list_) list_->setGeometry(g.list);
  if (progress_) progress_->setGeometry(g.progress);
  if (cancel_) cancel_->setGeometry(g.cancel);
}

QSize ClientArea::minimumSizeHint() const {
  return {kPictureLeft + kMinPicture + kGap + kMinListWidth + kRightMargin,
          kListTop + kMinListHeight + kBottomMargin};
}

ClientArea::Geometry ClientArea::LayoutFor(QSize size) {
  const int dw = size.width() - kWidth, dh = size.height() - kHeight;
  // The drawing grows with the height, but takes at most half of the extra
  // width, and shrinks with whichever side is short.
  int side = kPictureSize + std::min(dh, dw / 2);
  side = std::min(side, size.height() - 2 * kPictureTop);
  side = std::max(side, kMinPicture);
  Geometry g;
  g.picture = QRect(kPictureLeft, kPictureTop, side, side);
  const int listLeft = kPictureLeft + side + kGap;
  const int listWidth = std::max(kMinListWidth, size.width() - listLeft - kRightMargin);
  const int listHeight = std::max(kMinListHeight, size.height() - kListTop - kBottomMargin);
  g.list = QRect(listLeft, kListTop, listWidth, listHeight);
  const int rowTop = kListTop + listHeight + kRunRowGap;
  g.progress = QRect(listLeft, rowTop, listWidth - kCancelWidth - kCancelGap, kRunRowHeight);
  g.cancel = QRect(listLeft + listWidth - kCancelWidth, rowTop, kCancelWidth, kRunRowHeight);
  return g;
}

void ClientArea::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  SetElements(picture_, list_, progress_, cancel_);
}

}  // namespace treetri
