#include "data/parameter_file.h"

#include "data/field_reader.h"

namespace treetri {

namespace {

enum class ValueForm { Text, Skip, Int32, Real, RealPair, BlockRows, Block, Flag };

struct ValueItem {
  ValueForm form;
  double RunParameters::*first = nullptr;
  double RunParameters::*second = nullptr;
};

using P = RunParameters;
// The value of item 2k at index k - 1.
const ValueItem kValueItems[kParameterItemCount / 2] = {
    {ValueForm::Text},
    {ValueForm::Int32},
    {ValueForm::Real, &P::AzimuthCorrection},
    {ValueForm::RealPair, &P::Item8a, &P::Item8b},
    {ValueForm::RealPair, &P::SigmaMapX, &P::SigmaMapY},
    {ValueForm::BlockRows},
    {ValueForm::Block},
    {ValueForm::Skip},
    {ValueForm::Real, &P::Item18},
    {ValueForm::Real, &P::Item20},
    {ValueForm::Real, &P::Item22},
    {ValueForm::Real, &P::Item24},
    {ValueForm::Skip},
    {ValueForm::Real, &P::Item28},
    {ValueForm::Real, &P::SigmaDistance},
    {ValueForm::Real, &P::Item32},
    {ValueForm::Real, &P::SigmaAzimuth},
    {ValueForm::Flag},
};

const char* const kLabels[kParameterItemCount / 2] = {
    "Results file name",
    "Number of simulated plots",
    "Azimuth correction in degrees",
    "Origin of the plot grid X Y",
    "Standard errors of the map coordinates SigmaMapX SigmaMapY in metres",
    "Number of rows below (plot centres X Y)",
    "Plot centres",
    "Made by",
    "Plot radius in metres",
    "Least number of map trees in a plot",
    "Largest number of map trees in a plot",
    "Map coordinate error of the simulation in metres",
    "Seed of the simulation",
    "Share of missing distances and azimuths",
    "Standard error of a distance in metres (SigmaDistance)",
    "Azimuth error of the simulation in degrees",
    "Standard error of an azimuth in radians (SigmaAzimuth)",
    "Gross errors simulated (0 no / 1 yes)",
};

}  // namespace

ParameterReadStatus ReadParameterText(std::string content, RunParameters& p) {
  ParameterReadStatus status;
  FieldReader in(std::move(content));
  in.BeginRecord();
  FieldError err;
  int item = 0;
  std::string text;
  // The field count within the file stands for the field; the item number
  // tells the user which value it is.
  auto bad = [&]() {
    const std::string what = err.kind == FieldErrorKind::FileEnds
                                 ? std::string("the file ends before this item")
                                 : FieldProblem(err);
    status.detail = "item " + std::to_string(item) + ", field " + std::to_string(err.field) +
                    " (line " + std::to_string(err.line) + "): " + what;
    return status;
  };
  for (int k = 0; k < kParameterItemCount / 2; ++k) {
    item = 2 * k + 1;
    if (!in.ReadText(text, err)) return bad();
    item = 2 * k + 2;
    const ValueItem& v = kValueItems[k];
    switch (v.form) {
      case ValueForm::Text:
        if (!in.ReadText(p.ResultsFileName, err)) return bad();
        break;
      case ValueForm::Skip:
        if (!in.ReadText(text, err)) return bad();
        break;
      case ValueForm::Int32:
        if (!in.ReadInt32(p.Item4, err)) return bad();
        break;
      case ValueForm::Real:
        if (!in.ReadReal(p.*v.first, err)) return bad();
        break;
      case ValueForm::RealPair:
        if (!in.ReadReal(p.*v.first, err) || !in.ReadReal(p.*v.second, err)) return bad();
        break;
      case ValueForm::BlockRows: {
        std::int32_t rows = 0;
        if (!in.ReadInt32(rows, err)) return bad();
        // A count the block cannot hold is not kept: BlockRows stays within 0..4.
        if (rows < 0 || rows > 4) {
          status.detail = "item 12 (line " + std::to_string(err.line) + ") gives " +
                          std::to_string(rows) + " rows for the block, which holds 0 to 4";
          return status;
        }
        p.BlockRows = rows;
        break;
      }
      case ValueForm::Block:
        for (size_t r = 0; r < static_cast<size_t>(p.BlockRows); ++r)
          if (!in.ReadReal(p.Block[r][0], err) || !in.ReadReal(p.Block[r][1], err)) return bad();
        break;
      case ValueForm::Flag: {
        std::int16_t flag = 0;
        if (!in.ReadInt16(flag, err)) return bad();
        p.Item36 = flag != 0 ? kTrue : kFalse;
        break;
      }
    }
    if (item == 6) status.azimuthCorrectionRead = true;
  }
  status.ok = true;
  return status;
}

std::string& ParameterFileTexts::Item(int n) {
  if (n == kBlockItem) {
    if (blockRows.empty()) blockRows.emplace_back();
    return blockRows[0];
  }
  return n % 2 ? labels[static_cast<size_t>(n / 2)] : values[static_cast<size_t>(n / 2 - 1)];
}

ParameterFileTexts DefaultParameterTexts() {
  ParameterFileTexts t;
  for (size_t k = 0; k < t.labels.size(); ++k) {
    t.labels[k] = kLabels[k];
    t.values[k] = "0";
  }
  t.values[0] = "results.txt";
  t.values[3] = "0, 0";
  t.values[4] = "0.3, 0.3";
  t.values[6] = "";  // the block rows stand in blockRows
  t.values[7] = "x";
  t.values[12] = "x";
  t.values[14] = "0.05";
  t.values[16] = "0.0175";
  return t;
}

std::string ParameterFileText(const ParameterFileTexts& t) {
  std::string s;
  for (size_t k = 0; k < t.labels.size(); ++k) {
    s += t.labels[k] + "\r\n";
    if (2 * k + 2 == kBlockItem) {
      for (const std::string& row : t.blockRows) s += row + "\r\n";
    } else {
      s += t.values[k] + "\r\n";
    }
  }
  return s;
}

}  // namespace treetri
