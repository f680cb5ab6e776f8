#include "app/run_relay.h"

#include <utility>

#include "platform/qt/qt_ui.h"

namespace treetri {

void SetSurfaceState(UserInterface& ui, const SurfaceState& s) {
  ui.SetDrawWidth(s.drawWidth);
  ui.SetForeColor(s.foreColor);
  ui.SetFillColor(s.fillColor);
  ui.SetFillStyle(s.fillStyle);
  ui.SetFont(s.font.name, s.font.size, s.font.bold);
  ui.SetCurrentPosition(s.currentX, s.currentY);
}

RunRelay::RunRelay(QtUi& target, QObject* context)
    : target_(target),
      context_(context),
      width_(target.ScaleWidth()),
      height_(target.ScaleHeight()) {
  SetSurfaceState(*this, target.Surface());
}

void RunRelay::Post(std::function<void()> work) {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(std::move(work));
  if (drainPosted_) return;
  // One queued call carries everything posted until it runs.
  drainPosted_ = true;
  QMetaObject::invokeMethod(context_, [this] { Drain(); }, Qt::QueuedConnection);
}

void RunRelay::Drain() {
  // A piece of work that runs an event loop of its own would drain the
  // later work before the rest of its own batch: the batch under way goes
  // first, the later work in a drain queued after it.
  if (draining_) {
    std::lock_guard<std::mutex> lock(mutex_);
    drainPosted_ = false;
    return;
  }
  draining_ = true;
  std::vector<std::function<void()>> work;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work.swap(queue_);
    drainPosted_ = false;
  }
  for (const auto& w : work) w();
  draining_ = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!queue_.empty() && !drainPosted_) {
      drainPosted_ = true;
      QMetaObject::invokeMethod(context_, [this] { Drain(); }, Qt::QueuedConnection);
    }
  }
  if (!work.empty() && afterDrain) afterDrain();
}

void RunRelay::HandBack() { SetSurfaceState(target_, Surface()); }

void RunRelay::MessageBox(const std::string& text) {
  Post([this, text] {
    if (onMessage) onMessage(text);
  });
}

void RunRelay::ListClear() {
  Post([this] { target_.ListClear(); });
}

void RunRelay::ListAdd(const std::string& line) {
  Post([this, line] { target_.ListAdd(line); });
}

// Each drawing is replayed on the window's surface with the state it was
// made with: the same primitive with the same state as a direct call.
void RunRelay::DoClear() {
  Post([this] { target_.SurfaceClear(); });
}

void RunRelay::DoLine(double x1, double y1, double x2, double y2, const SurfaceState& s) {
  Post([this, x1, y1, x2, y2, s] {
    SetSurfaceState(target_, s);
    target_.Line(x1, y1, x2, y2);
  });
}

void RunRelay::DoPoint(double x, double y, Rgb color, const SurfaceState& s) {
  Post([this, x, y, color, s] {
    SetSurfaceState(target_, s);
    target_.Point(x, y, color);
  });
}

void RunRelay::DoCircle(double x, double y, double radius, Rgb outline, const SurfaceState& s) {
  Post([this, x, y, radius, outline, s] {
    SetSurfaceState(target_, s);
    target_.Circle(x, y, radius, outline);
  });
}

void RunRelay::DoPrint(const std::string& text, const SurfaceState& s) {
  Post([this, text, s] {
    SetSurfaceState(target_, s);
    target_.Print(text);
  });
}

}  // namespace treetri
