#include "tools/planted_errors.h"

#include "tools/text_format.h"

namespace treetri::tools {

namespace {

constexpr PlantedKind kKinds[] = {PlantedKind::WrongTree, PlantedKind::Azimuth,
                                  PlantedKind::Distance, PlantedKind::MapShift,
                                  PlantedKind::Missing,   PlantedKind::DigitSlip,
                                  PlantedKind::AzimuthFlip, PlantedKind::SlopeDistance,
                                  PlantedKind::SwappedDigits, PlantedKind::CompassBias};
constexpr int kFields = 8;

bool Whole(std::string_view s, int lo, int& out) {
  long long v = 0;
  if (!ParseWhole(s, v) || v < lo || v > 2147483647LL) return false;
  out = static_cast<int>(v);
  return true;
}

// Why the fields are no record; empty when `e` holds them.
std::string ParseRecord(const std::vector<std::string>& f, PlantedError& e) {
  if (f.size() != kFields)
    return std::to_string(f.size()) + " fields instead of " + std::to_string(kFields);
  const std::string_view word = Trim(f[3]);
  bool known = false;
  for (PlantedKind k : kKinds)
    if (word == PlantedKindWord(k)) {
      e.kind = k;
      known = true;
    }
  if (!known) return "unknown Kind \"" + std::string(word) + "\"";
  const int least = e.kind == PlantedKind::CompassBias ? 0 : 1;
  if (!Whole(f[0], 1, e.plot) || !Whole(f[1], least, e.tree) || !Whole(f[2], least, e.slot))
    return least ? "Plot, Tree and Slot must be whole numbers from 1"
                 : "Plot must be a whole number from 1, Tree and Slot from 0";
  if (!Whole(f[4], 0, e.trueTree) || !Whole(f[5], 0, e.plantedTree))
    return "TrueTree and PlantedTree must be whole numbers";
  const std::string_view onMap = Trim(f[6]);
  if (onMap != "0" && onMap != "1") return "OnMap must be 0 or 1";
  e.onMap = onMap == "1";
  e.shift = 0;
  if ((e.onMap || !Trim(f[7]).empty()) && !ParseDouble(f[7], e.shift))
    return "Shift is no number";
  return {};
}

}  // namespace

const char* PlantedKindWord(PlantedKind k) {
  switch (k) {
    case PlantedKind::WrongTree: return "wrong_tree";
    case PlantedKind::Azimuth: return "azimuth";
    case PlantedKind::Distance: return "distance";
    case PlantedKind::MapShift: return "map_shift";
    case PlantedKind::Missing: return "missing";
    case PlantedKind::DigitSlip: return "digit_slip";
    case PlantedKind::AzimuthFlip: return "azimuth_180";
    case PlantedKind::SlopeDistance: return "slope_distance";
    case PlantedKind::SwappedDigits: return "swapped_digits";
    case PlantedKind::CompassBias: return "compass_bias";
  }
  return "";
}

PlantedKind BasicKind(PlantedKind k) {
  switch (k) {
    case PlantedKind::DigitSlip: return PlantedKind::WrongTree;
    case PlantedKind::AzimuthFlip: return PlantedKind::Azimuth;
    case PlantedKind::SlopeDistance:
    case PlantedKind::SwappedDigits: return PlantedKind::Distance;
    default: return k;
  }
}

std::string PlantedErrorsText(const std::vector<PlantedError>& errors) {
  std::string out = std::string(kPlantedErrorsHeader) + "\r\n";
  for (const PlantedError& e : errors) {
    out += std::to_string(e.plot) + "," + std::to_string(e.tree) + "," + std::to_string(e.slot) +
           "," + PlantedKindWord(e.kind) + "," + std::to_string(e.trueTree) + "," +
           std::to_string(e.plantedTree) + "," + (e.onMap ? "1" : "0") + "," +
           (e.onMap ? Fixed(e.shift, 3) : std::string()) + "\r\n";
  }
  return out;
}

PlantedErrorsFile ParsePlantedErrors(const std::string& text, const std::string& fileName) {
  PlantedErrorsFile file;
  ForEachLine(text, [&](std::string_view line, int number) {
    if (!file.problem.empty()) return;
    auto fail = [&](const std::string& why) {
      file.problem = fileName + " line " + std::to_string(number) + ": " + why;
    };
    if (number == 1) {
      if (Trim(line) != kPlantedErrorsHeader)
        fail(std::string("the header must be \"") + kPlantedErrorsHeader + "\"");
      return;
    }
    if (Trim(line).empty()) return;
    PlantedError e;
    const std::string why = ParseRecord(SplitAt(line, ","), e);
    if (why.empty())
      file.errors.push_back(e);
    else
      fail(why);
  });
  if (text.empty()) file.problem = fileName + " line 1: the file is empty";
  return file;
}

}  // namespace treetri::tools
