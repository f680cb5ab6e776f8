// The user interface that a run on a worker thread talks to in place of the
// window's. Nothing of it touches a widget on the worker: every list line,
// drawing and message is queued and carried out on the GUI thread, in the
// order the run made them, against the window's QtUi. So the legacy drawing
// lands on the window's surface as before (the case dots appear during the
// run), while the GUI thread keeps taking input, Cancel included.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <QObject>

#include "platform/ui.h"

namespace treetri {

class QtUi;

class RunRelay : public UserInterface {
 public:
  // Made on the GUI thread before the run: the surface's size and drawing
  // state are those of `target`. `context` lives on the GUI thread; the
  // queued work runs through its event loop.
  RunRelay(QtUi& target, QObject* context);

  // Worker side. A message is not shown here: it goes to onMessage on the
  // GUI thread and the run goes on at once.
  void MessageBox(const std::string& text) override;
  void ListClear() override;
  void ListAdd(const std::string& line) override;
  int ListSelectedIndex() const override { return -1; }
  double ScaleWidth() const override { return width_; }
  double ScaleHeight() const override { return height_; }
  // The GUI thread processes its own events.
  void ProcessEvents() override {}

  // Queues `work` for the GUI thread (from either thread).
  void Post(std::function<void()> work);
  // GUI thread: carries out all work queued so far, in order.
  void Drain();
  // GUI thread, after the run: the window's surface takes the drawing state
  // that the run left.
  void HandBack();

  // GUI thread: a message of the run, in order with the rest.
  std::function<void(const std::string& text)> onMessage;
  // GUI thread: after each batch of queued work (the list is shown then).
  std::function<void()> afterDrain;

 protected:
  bool DoShowOpenDialog(const std::string&, const std::string&, const std::string&,
                        std::string&) override {
    return false;  // a run asks for no file
  }
  void DoClear() override;
  void DoLine(double x1, double y1, double x2, double y2, const SurfaceState& s) override;
  void DoPoint(double x, double y, Rgb color, const SurfaceState& s) override;
  void DoCircle(double x, double y, double radius, Rgb outline, const SurfaceState& s) override;
  void DoPrint(const std::string& text, const SurfaceState& s) override;

 private:
  QtUi& target_;
  QObject* context_;
  double width_, height_;
  std::mutex mutex_;
  std::vector<std::function<void()>> queue_;
  bool drainPosted_ = false;
  bool draining_ = false;  // GUI thread only
};

// Sets every part of the drawing state of `ui` to `s`.
void SetSurfaceState(UserInterface& ui, const SurfaceState& s);

}  // namespace treetri
