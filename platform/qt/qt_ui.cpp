#include "platform/qt/qt_ui.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPen>
#include <QTimer>

#include "platform/qt/picture_box.h"
#include "platform/text.h"

namespace treetri {

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

std::string QtPatterns(const std::string& patterns) {
  std::string out;
  for (const std::string& raw : SplitAt(patterns, ";")) {
    std::string p = Trim(raw);
    if (p.empty()) continue;
    if (p == "*.*") p = "*";
    if (!out.empty()) out += ' ';
    out += p;
  }
  return out.empty() ? "*" : out;
}

// Drawing far outside the surface shows nothing; coordinates are kept within
// this margin so that the rasteriser never sees huge or non-finite values.
constexpr double kMargin = 1000.0;

bool Finite(double v) { return std::isfinite(v); }

// Clips the segment to the rectangle [lo, hi] x [lo, hiY] (Liang-Barsky);
// false when nothing of it is left.
bool ClipSegment(double& x1, double& y1, double& x2, double& y2, double loX, double loY,
                 double hiX, double hiY) {
  if (!Finite(x1) || !Finite(y1) || !Finite(x2) || !Finite(y2)) return false;
  double t0 = 0.0, t1 = 1.0;
  const double dx = x2 - x1, dy = y2 - y1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x1 - loX, hiX - x1, y1 - loY, hiY - y1};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double r = q[i] / p[i];
    if (p[i] < 0.0) {
      if (r > t1) return false;
      t0 = std::max(t0, r);
    } else {
      if (r < t0) return false;
      t1 = std::min(t1, r);
    }
  }
  const double nx1 = x1 + t0 * dx, ny1 = y1 + t0 * dy;
  const double nx2 = x1 + t1 * dx, ny2 = y1 + t1 * dy;
  x1 = nx1, y1 = ny1, x2 = nx2, y2 = ny2;
  return true;
}

QPen PenFor(Rgb color, int width) {
  return QPen(ToQColor(color), std::max(1, width), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

}  // namespace

std::string ToQtFilter(const std::string& filter) {
  if (Trim(filter).empty()) return {};
  std::vector<std::string> parts = SplitAt(filter, "|");
  std::string out;
  for (size_t i = 0; i < parts.size(); i += 2) {
    std::string description = Trim(parts[i]);
    std::string patterns = QtPatterns(i + 1 < parts.size() ? parts[i + 1] : std::string());
    if (description.empty()) description = patterns;
    if (!out.empty()) out += ";;";
    out += description + " (" + patterns + ")";
  }
  return out;
}

QFont ToQFont(const FontSpec& wanted) {
  const QString name = QString::fromStdString(wanted.name).trimmed();
  const QString key = name.toLower();
  QString family = name;
  QFont::StyleHint hint = QFont::AnyStyle;
  if (key == "arial" || key == "ms sans serif" || key == "microsoft sans serif") {
    family = "Liberation Sans";
    hint = QFont::SansSerif;
  } else if (key == "courier new" || key == "courier" || key == "fixedsys") {
    family = "Liberation Mono";
    hint = QFont::TypeWriter;
  } else if (key == "times new roman") {
    family = "Liberation Serif";
    hint = QFont::Serif;
  }
  QFont font(family);
  font.setStyleHint(hint, QFont::NoAntialias);
  font.setPointSizeF(wanted.size > 0 ? wanted.size : 8.25);
  font.setBold(wanted.bold);
  return font;
}

QtUi::QtUi(QListWidget* list, PictureBox* picture, QWidget* dialogParent)
    : list_(list), picture_(picture), dialogParent_(dialogParent) {}

QString QtUi::MessageTitle() { return QCoreApplication::applicationName(); }

void QtUi::MessageBox(const std::string& text) {
  FlushList();
  if (messageHook) {
    messageHook(text);
    return;
  }
  QWidget* parent = dialogParent_ && dialogParent_->isVisible() ? dialogParent_ : nullptr;
  QMessageBox box(QMessageBox::NoIcon, MessageTitle(), QString::fromStdString(text),
                  QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void QtUi::ListClear() {
  pending_.clear();
  list_->clear();
  ++listLayouts_;
}

// Every line added to the widget at once lays out and scrolls the whole list:
// the lines wait here and enter the widget together, when the list is shown
// or read.
void QtUi::ListAdd(const std::string& line) { pending_.append(QString::fromStdString(line)); }

void QtUi::FlushList() const {
  if (pending_.isEmpty()) return;
  list_->addItems(pending_);
  pending_.clear();
  list_->scrollToBottom();
  ++listLayouts_;
}

// A repaint of the surface after every dot of a run would cost more than the
// run: a change is shown at once when the last repaint is an interval old,
// otherwise when the interval has passed.
void QtUi::PictureChanged() {
  if (repaintPending_) return;
  const qint64 since = sincePaint_.isValid() ? sincePaint_.elapsed() : kRefreshMilliseconds;
  if (since >= kRefreshMilliseconds) {
    picture_->update();
    sincePaint_.start();
    return;
  }
  repaintPending_ = true;
  QTimer::singleShot(static_cast<int>(kRefreshMilliseconds - since), picture_, [this] {
    repaintPending_ = false;
    picture_->update();
    sincePaint_.start();
  });
}

void QtUi::Refresh() {
  FlushList();
  QCoreApplication::processEvents();
}

int QtUi::ListSelectedIndex() const {
  FlushList();
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return -1;
  return list_->row(selected.first());
}

double QtUi::ScaleWidth() const { return picture_->Image().width(); }
double QtUi::ScaleHeight() const { return picture_->Image().height(); }

void QtUi::ProcessEvents() {
  // The lines of the cases so far are shown when the interval has passed.
  if (!sinceFlush_.isValid() || sinceFlush_.elapsed() >= kRefreshMilliseconds) {
    FlushList();
    sinceFlush_.start();
  }
  QCoreApplication::processEvents();
  if (onProcessEvents) onProcessEvents();
}

bool QtUi::DoShowOpenDialog(const std::string& filter, const std::string& title,
                            const std::string& /*startName*/, std::string& chosen) {
  const std::string qtFilter = ToQtFilter(filter);
  if (dialogHook) return dialogHook(qtFilter, title, startFolder_, chosen);
  QWidget* parent = dialogParent_ && dialogParent_->isVisible() ? dialogParent_ : nullptr;
  const QString name =
      QFileDialog::getOpenFileName(parent, QString::fromStdString(title),
                                   QFile::decodeName(startFolder_.c_str()),
                                   QString::fromStdString(qtFilter));
  if (name.isEmpty()) return false;
  chosen = QFile::encodeName(name).toStdString();
  return true;
}

void QtUi::DoClear() {
  picture_->Image().fill(Qt::white);
  PictureChanged();
}

void QtUi::DoLine(double x1, double y1, double x2, double y2, const SurfaceState& s) {
  const double w = ScaleWidth(), h = ScaleHeight();
  if (!ClipSegment(x1, y1, x2, y2, -kMargin, -kMargin, w + kMargin, h + kMargin)) return;
  QPainter p(&picture_->Image());
  p.setPen(PenFor(s.foreColor, s.drawWidth));
  p.drawLine(QPointF(x1, y1), QPointF(x2, y2));
  p.end();
  PictureChanged();
}

void QtUi::DoPoint(double x, double y, Rgb color, const SurfaceState& s) {
  if (!Finite(x) || !Finite(y)) return;
  const double w = ScaleWidth(), h = ScaleHeight();
  if (x < -kMargin || y < -kMargin || x > w + kMargin || y > h + kMargin) return;
  // A square dot of the line width, centred on the pixel nearest (x, y).
  const int size = std::max(1, s.drawWidth);
  const int ix = static_cast<int>(std::floor(x + 0.5)) - size / 2;
  const int iy = static_cast<int>(std::floor(y + 0.5)) - size / 2;
  QPainter p(&picture_->Image());
  p.fillRect(QRect(ix, iy, size, size), ToQColor(color));
  p.end();
  PictureChanged();
}

void QtUi::DoCircle(double x, double y, double radius, Rgb outline, const SurfaceState& s) {
  if (!Finite(x) || !Finite(y) || !Finite(radius)) return;
  radius = std::fabs(radius);
  const double w = ScaleWidth(), h = ScaleHeight();
  if (x + radius < -kMargin || y + radius < -kMargin || x - radius > w + kMargin ||
      y - radius > h + kMargin || radius > 100 * (w + h + kMargin))
    return;
  QPainter p(&picture_->Image());
  p.setPen(PenFor(outline, s.drawWidth));
  if (s.fillStyle == FillStyle::Solid)
    p.setBrush(ToQColor(s.fillColor));
  else
    p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(x, y), radius, radius);
  p.end();
  PictureChanged();
}

void QtUi::DoPrint(const std::string& text, const SurfaceState& s) {
  const double x = s.currentX, y = s.currentY;
  if (!Finite(x) || !Finite(y)) return;
  const double w = ScaleWidth(), h = ScaleHeight();
  if (x < -kMargin || y < -kMargin || x > w + kMargin || y > h + kMargin) return;
  QPainter p(&picture_->Image());
  p.setFont(ToQFont(s.font));
  p.setPen(ToQColor(s.foreColor));
  // The current position is the text's top-left corner.
  p.drawText(QRectF(x, y, w + 2 * kMargin, h + 2 * kMargin),
             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, QString::fromStdString(text));
  p.end();
  PictureChanged();
}

}  // namespace treetri
