#include "platform/ui.h"

namespace treetri {

bool UserInterface::ShowOpenDialog() {
  std::string chosen;
  if (!DoShowOpenDialog(dialogFilter_, dialogTitle_, dialogFileName_, chosen)) return false;
  dialogFileName_ = chosen;
  return true;
}

void UserInterface::SurfaceClear() {
  DoClear();
  state_.currentX = 0.0;
  state_.currentY = 0.0;
}

void UserInterface::Line(double x1, double y1, double x2, double y2) {
  DoLine(x1, y1, x2, y2, state_);
  state_.currentX = x2;
  state_.currentY = y2;
}

void UserInterface::Point(double x, double y, Rgb color) {
  DoPoint(x, y, color, state_);
  state_.currentX = x;
  state_.currentY = y;
}

void UserInterface::Circle(double x, double y, double radius, std::optional<Rgb> outline) {
  DoCircle(x, y, radius, outline.value_or(state_.foreColor), state_);
  state_.currentX = x;
  state_.currentY = y;
}

void UserInterface::Print(const std::string& text) { DoPrint(text, state_); }

}  // namespace treetri
