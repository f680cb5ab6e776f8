// The user-interface operations that the logic calls. The computation never
// talks to a toolkit directly: it calls these operations on a UserInterface,
// implemented over Qt for the desktop program and by HeadlessUi (which records
// every call) for the tests and the batch program.
#pragma once

#include <optional>
#include <string>

namespace treetri {

struct Rgb {
  int r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb& a, const Rgb& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
  }
  friend bool operator!=(const Rgb& a, const Rgb& b) { return !(a == b); }
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kMagenta{255, 0, 255};

enum class FillStyle { Solid, Transparent };

struct FontSpec {
  std::string name;
  double size = 8.25;
  bool bold = false;
  friend bool operator==(const FontSpec& a, const FontSpec& b) {
    return a.name == b.name && a.size == b.size && a.bold == b.bold;
  }
};

// The drawing state of the surface. It stays in force until changed, also
// from one command to the next.
struct SurfaceState {
  double currentX = 0.0, currentY = 0.0;
  int drawWidth = 1;
  Rgb foreColor = kBlack;
  Rgb fillColor = kBlack;
  FillStyle fillStyle = FillStyle::Transparent;
  FontSpec font{"MS Sans Serif", 8.25, false};
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // Modal message box with one text, an OK button and the application's
  // default title; returns when the user has pressed OK.
  virtual void MessageBox(const std::string& text) = 0;

  // The one file-open dialog shared by both reading commands. The filter is a
  // description, a vertical bar and a pattern. ShowOpenDialog waits for the
  // user and returns false when the dialog was cancelled; the chosen full
  // name then stays what it was. DialogFileName is the last name chosen.
  void SetDialogFilter(const std::string& filter) { dialogFilter_ = filter; }
  void SetDialogTitle(const std::string& title) { dialogTitle_ = title; }
  bool ShowOpenDialog();
  const std::string& DialogFileName() const { return dialogFileName_; }

  // The results list (List1).
  virtual void ListClear() = 0;
  virtual void ListAdd(const std::string& line) = 0;
  // Index of the selected line, counting the header as 0; -1 when none.
  virtual int ListSelectedIndex() const = 0;

  // The drawing surface (Picture1): pixel units, origin top-left, y down.
  void SurfaceClear();
  virtual double ScaleWidth() const = 0;
  virtual double ScaleHeight() const = 0;
  void SetDrawWidth(int width) { state_.drawWidth = width; }
  void SetForeColor(Rgb c) { state_.foreColor = c; }
  void SetFillColor(Rgb c) { state_.fillColor = c; }
  void SetFillStyle(FillStyle s) { state_.fillStyle = s; }
  void SetFont(const std::string& name, double size, bool bold) {
    state_.font = FontSpec{name, size, bold};
  }
  double CurrentX() const { return state_.currentX; }
  double CurrentY() const { return state_.currentY; }
  void SetCurrentPosition(double x, double y) {
    state_.currentX = x;
    state_.currentY = y;
  }
  const SurfaceState& Surface() const { return state_; }

  // Line in the foreground colour and line width; the current position
  // becomes the end point.
  void Line(double x1, double y1, double x2, double y2);
  // A dot of the current line width in the given colour.
  void Point(double x, double y, Rgb color);
  // Outline in the given colour (or the foreground colour), filled with the
  // fill colour when the fill style is solid; the current position becomes
  // the centre.
  void Circle(double x, double y, double radius, std::optional<Rgb> outline = std::nullopt);
  // Text at the current position (its top-left corner) in the foreground
  // colour and the current font.
  void Print(const std::string& text);

  // Lets the toolkit repaint and dispatch pending input before returning.
  virtual void ProcessEvents() = 0;

 protected:
  // Painting primitives of an implementation; the state is already updated
  // where the operation changes it, and passed in full.
  virtual bool DoShowOpenDialog(const std::string& filter, const std::string& title,
                                const std::string& startName, std::string& chosen) = 0;
  virtual void DoClear() = 0;
  virtual void DoLine(double x1, double y1, double x2, double y2, const SurfaceState& s) = 0;
  virtual void DoPoint(double x, double y, Rgb color, const SurfaceState& s) = 0;
  virtual void DoCircle(double x, double y, double radius, Rgb outline, const SurfaceState& s) = 0;
  virtual void DoPrint(const std::string& text, const SurfaceState& s) = 0;

 private:
  std::string dialogFilter_, dialogTitle_, dialogFileName_;
  SurfaceState state_;
};

}  // namespace treetri
