#include "display/canvas.h"

#include <cmath>

#include "output/number_text.h"
#include "platform/ui.h"

namespace treetri {

void SetUpMapCanvas(UserInterface& ui, Flag& drawFlag) {
  if (!IsTrue(drawFlag)) return;
  ui.SurfaceClear();
  ui.SetDrawWidth(2);
  ui.Line(10, 200, 390, 200);
  ui.Line(200, 390, 200, 10);
  ui.SetDrawWidth(1);
  for (int k = 50; k <= 350; k += 50) {
    // Each label is printed where its tick ends.
    ui.Line(190, k, 210, k);
    ui.Print(FixedText((200.0 - k) / 100.0, 1));
    ui.Line(k, 190, k, 210);
    ui.Print(FixedText((k - 200.0) / 100.0, 1));
  }
  ui.SetDrawWidth(2);
}

void DrawCasePosition(const LegacyCaseResult& c, UserInterface& ui, Flag& drawFlag) {
  if (!IsTrue(drawFlag) || !(std::fabs(c.X_adj) < 10)) return;
  const double x = 200 + 100 * c.X_adj;
  const double y = 200 - 100 * c.Y_adj;
  ui.Point(x, y, kMagenta);
  ui.ProcessEvents();
}

}  // namespace treetri
