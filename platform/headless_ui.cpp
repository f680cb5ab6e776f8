#include "platform/headless_ui.h"

namespace treetri {

void HeadlessUi::MessageBox(const std::string& text) {
  messages.push_back(text);
  if (onMessage) onMessage(text);
}

void HeadlessUi::ListClear() {
  list.clear();
  ++listClears;
}

void HeadlessUi::ListAdd(const std::string& line) {
  list.push_back(line);
  if (onListAdd) onListAdd(line);
}

void HeadlessUi::ProcessEvents() {
  ++processEventsCalls;
  if (onProcessEvents) onProcessEvents();
}

// Without a user to choose, every file dialog counts as cancelled.
bool HeadlessUi::DoShowOpenDialog(const std::string&, const std::string&, const std::string&,
                                  std::string&) {
  return false;
}

void HeadlessUi::DoClear() {
  drawing.clear();
  DrawOp op;
  op.kind = DrawOp::Kind::Clear;
  drawing.push_back(op);
}

void HeadlessUi::DoLine(double x1, double y1, double x2, double y2, const SurfaceState& s) {
  if (!recordDrawing) return;
  DrawOp op;
  op.kind = DrawOp::Kind::Line;
  op.x1 = x1, op.y1 = y1, op.x2 = x2, op.y2 = y2;
  op.color = s.foreColor;
  op.state = s;
  drawing.push_back(op);
}

void HeadlessUi::DoPoint(double x, double y, Rgb color, const SurfaceState& s) {
  if (!recordDrawing) return;
  DrawOp op;
  op.kind = DrawOp::Kind::Point;
  op.x1 = x, op.y1 = y;
  op.color = color;
  op.state = s;
  drawing.push_back(op);
}

void HeadlessUi::DoCircle(double x, double y, double radius, Rgb outline, const SurfaceState& s) {
  if (!recordDrawing) return;
  DrawOp op;
  op.kind = DrawOp::Kind::Circle;
  op.x1 = x, op.y1 = y;
  op.radius = radius;
  op.color = outline;
  op.state = s;
  drawing.push_back(op);
}

void HeadlessUi::DoPrint(const std::string& text, const SurfaceState& s) {
  if (!recordDrawing) return;
  DrawOp op;
  op.kind = DrawOp::Kind::Print;
  op.x1 = s.currentX, op.y1 = s.currentY;
  op.color = s.foreColor;
  op.text = text;
  op.state = s;
  drawing.push_back(op);
}

}  // namespace treetri
