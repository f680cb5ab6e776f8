// The drawing primitives of the Qt user interface.
#include <limits>

#include <QListWidget>

#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

TEST(QtUi, PrimitivesDrawInTheirColoursAndPlacesAndNothingFarOutside) {
  QListWidget list;
  PictureBox picture(345, 345);
  QtUi ui(&list, &picture, nullptr);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  ui.SetDrawWidth(2);
  ui.Point(1e300, -1e300, kMagenta);
  ui.Point(nan, 5, kMagenta);
  ui.Circle(5e9, 5e9, 1e9);
  ui.SetCurrentPosition(1e200, nan);
  ui.Print("far");
  EXPECT_EQ(CountColour(picture.Image(), kWhite), 345 * 345);
  ui.SetForeColor(kRed);
  ui.SetDrawWidth(3);
  ui.Line(200, 10, 200, 100);
  ui.Point(100.4, 99.6, kMagenta);
  ui.SetFillColor(kRed);
  ui.SetFillStyle(FillStyle::Solid);
  ui.Circle(200, 200, 6, kBlue);
  const std::pair<QPoint, Rgb> pixels[] = {
      {{199, 50}, kRed}, {{201, 50}, kRed}, {{203, 50}, kWhite}, {{201, 102}, kWhite},
      {{200, 200}, kRed}, {{203, 200}, kRed}, {{206, 200}, kBlue}, {{209, 200}, kWhite}};
  for (const auto& [at, colour] : pixels)
    EXPECT_TRUE(HasColour(picture.Image(), at.x(), at.y(), colour)) << at.x() << "," << at.y();
  // A 3 x 3 point, and no other colours: no blending at the edges.
  EXPECT_EQ(CountColour(picture.Image(), kMagenta), 9);
  EXPECT_EQ(CountColour(picture.Image(), kWhite) + CountColour(picture.Image(), kRed) +
                CountColour(picture.Image(), kBlue) + 9, 345 * 345);
}

}  // namespace
}  // namespace treetri::gui
