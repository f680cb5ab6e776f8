// A user interface without windows that records every call in order. The
// tests inspect the record; the batch program forwards messages and list
// lines to its streams through the callbacks.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace treetri {

struct DrawOp {
  enum class Kind { Clear, Line, Point, Circle, Print };
  Kind kind = Kind::Clear;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // line ends; point / circle / print position in x1, y1
  double radius = 0;
  Rgb color;         // line and print: foreground; point: its colour; circle: outline
  std::string text;  // print
  SurfaceState state;  // the surface state at the call
};

class HeadlessUi : public UserInterface {
 public:
  explicit HeadlessUi(double surfaceWidth = 345, double surfaceHeight = 345)
      : width_(surfaceWidth), height_(surfaceHeight) {}

  void MessageBox(const std::string& text) override;
  void ListClear() override;
  void ListAdd(const std::string& line) override;
  int ListSelectedIndex() const override { return selected_; }
  double ScaleWidth() const override { return width_; }
  double ScaleHeight() const override { return height_; }
  void ProcessEvents() override;

  void SelectListLine(int index) { selected_ = index; }

  std::vector<std::string> messages;
  std::vector<std::string> list;  // the list's current lines
  std::vector<DrawOp> drawing;    // since the last clear (the clear included)
  int processEventsCalls = 0;
  int listClears = 0;

  // Called for each message and list line as it happens (batch program).
  std::function<void(const std::string&)> onMessage;
  std::function<void(const std::string&)> onListAdd;
  // Called from ProcessEvents (tests use it to dispatch a command mid-run).
  std::function<void()> onProcessEvents;
  // When false, drawing operations are not recorded (long batch runs).
  bool recordDrawing = true;

 protected:
  bool DoShowOpenDialog(const std::string& filter, const std::string& title,
                        const std::string& startName, std::string& chosen) override;
  void DoClear() override;
  void DoLine(double x1, double y1, double x2, double y2, const SurfaceState& s) override;
  void DoPoint(double x, double y, Rgb color, const SurfaceState& s) override;
  void DoCircle(double x, double y, double radius, Rgb outline, const SurfaceState& s) override;
  void DoPrint(const std::string& text, const SurfaceState& s) override;

 private:
  double width_, height_;
  int selected_ = -1;
};

}  // namespace treetri
