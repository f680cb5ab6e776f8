// The drawing primitives of the Qt user interface.
#include <functional>
#include <limits>

#include <QListWidget>

#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

TEST(QtUi, PrimitivesDrawInTheirColoursAndPlaces) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    std::function<void(QtUi&)> draw;
    std::vector<Rgb> inks;                       // the only colours drawn
    QRect within;                                // where all of it lies
    std::vector<std::pair<QPoint, Rgb>> pixels;  // known pixels
  };
  const Case cases[] = {
      {"thin line", [](QtUi& u) { u.SetForeColor(kBlue), u.Line(10, 100, 300, 100); }, {kBlue},
       QRect(9, 99, 293, 3), {{{150, 100}, kBlue}, {{150, 101}, kWhite}}},
      {"thick line",
       [](QtUi& u) { u.SetForeColor(kRed), u.SetDrawWidth(3), u.Line(200, 10, 200, 300); },
       {kRed}, QRect(198, 8, 5, 295), {{{199, 150}, kRed}, {{201, 150}, kRed}}},
      {"point", [](QtUi& u) { u.SetDrawWidth(3), u.Point(100.4, 99.6, kMagenta); }, {kMagenta},
       QRect(99, 99, 3, 3), {{{99, 99}, kMagenta}, {{101, 101}, kMagenta}}},
      {"circle", [](QtUi& u) { u.Circle(100, 100, 10); }, {kBlack}, QRect(89, 89, 23, 23),
       {{{100, 100}, kWhite}, {{90, 100}, kBlack}, {{110, 100}, kBlack}}},
      {"filled circle",
       [](QtUi& u) {
         u.SetFillColor(kRed), u.SetFillStyle(FillStyle::Solid), u.Circle(200, 200, 6, kBlue);
       },
       {kRed, kBlue}, QRect(193, 193, 15, 15),
       {{{200, 200}, kRed}, {{205, 200}, kRed}, {{206, 200}, kBlue}}},
      {"text hanging from the position",
       [](QtUi& u) {
         u.SetForeColor(kRed), u.SetFont("Arial", 12, true), u.SetCurrentPosition(100, 150);
         u.Print("3 m");
       },
       {kRed}, QRect(100, 150, 40, 17), {}},
      {"far outside",
       [nan](QtUi& u) {
         u.SetDrawWidth(2), u.Point(1e300, -1e300, kMagenta), u.Point(nan, 5, kMagenta);
         u.Circle(nan, nan, 3), u.Circle(5e9, 5e9, 1e9), u.SetCurrentPosition(1e200, nan);
         u.Print("far");
       },
       {}, QRect(), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QListWidget list;
    PictureBox picture(345, 345);
    QtUi ui(&list, &picture, nullptr);
    c.draw(ui);
    const QImage& image = picture.Image();
    for (const auto& [at, colour] : c.pixels)
      EXPECT_TRUE(HasColour(image, at.x(), at.y(), colour)) << at.x() << "," << at.y();
    int ink = 0, stray = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        if (HasColour(image, x, y, kWhite)) continue;
        ++ink;
        stray += !c.within.contains(x, y) || std::none_of(c.inks.begin(), c.inks.end(), [&](Rgb k) {
          return HasColour(image, x, y, k);
        });
      }
    EXPECT_EQ(ink > 0, !c.inks.empty());
    EXPECT_EQ(stray, 0);
  }
}

}  // namespace
}  // namespace treetri::gui
