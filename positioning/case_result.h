// What a computed case leaves for the rest of the program: one value, made
// by the case pipeline after the case's last iteration and never changed
// after. The results writer, the list, the dump files, the case dot, the
// quality layer's input, the GeoPackage export and the desktop read it; the
// case work area stays the pipeline's own.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/tables.h"
#include "matrix/matrix.h"

namespace treetri {

struct Tables;

// Why a case could not be adjusted; None while it can.
enum class CaseFailure { None, Npa, CoincidentPoint, Singular, TooManyRows, NotFinite };

// The legacy figures of a case that exist only for some cases; a figure a
// case does not have is written as "-999" (results file, map data, list)
// and left empty by the exports.
enum class LegacyFigure {
  Start,      // X_ini, Y_ini, NumOfObs: the case was set up (its NPA lies in 1..20)
  // TypeOfIni: set up, and the initial approximation found a start of the
  // case's own (X_ini, Y_ini repeat the case before's otherwise)
  InitialApproximation,
  Position,   // X_adj, Y_adj of the tree and of its sighted trees: it was adjusted
  Precision,  // SigmaNull, SigmaX, SigmaY, Tau and the test values: adjusted with redundancy
};

// One sighting slot as the case used it.
struct SlotResult {
  std::int32_t SightedTree = 0, SightedSpecies = 0;
  double Obs_X = 0, Obs_Y = 0;  // the sighted tree's map coordinates
  double X_adj = 0, Y_adj = 0;  // its adjusted position
  bool IsDist = false, Is_Azim = false;
  double Obs_dist = 0;  // metres
  // The azimuth in degrees with the run's azimuth correction applied, as the
  // case turned it into Obs_azim, the direction angle in radians.
  double azimuth = 0;
  double Obs_azim = 0;
  double Res_Dist = 0, Res_Azim = 0;
  // Rows of the two observations in the case's system (0: not observed).
  std::int32_t DistanceRow = 0, AzimuthRow = 0;
  // The test values of the two observations where the case has them.
  bool hasBaardaDist = false, hasBaardaAzim = false;
  double BaardaDist = 0, Baarda_Azim = 0;
};

struct LegacyCaseResult {
  int caseNumber = 0;
  int iterations = 0;
  // The field tree.
  std::int32_t plot = 0, tree = 0, species = 0, NPA = 0;

  CaseFailure failure = CaseFailure::None;
  bool initialApproximationFailed = false;
  bool unchecked = false;  // redundancy of zero or less: no precision figures
  // The messages the case's steps raised, in order, for the caller to show.
  std::vector<std::string> messages;

  // The case scalars after the case. A case keeps the values of the case
  // before where it sets none (the start of a failed initial approximation).
  double X_ini = 0, Y_ini = 0, X_adj = 0, Y_adj = 0;
  double SigmaNull = 0, SigmaX = 0, SigmaY = 0;
  std::int32_t NumOfObs = 0;
  std::array<char, 8> TypeOfIni{};
  // The two single-precision tables the map data line prints; nothing
  // writes them, so they stay zero.
  std::array<float, 2> Reserved2{};
  std::array<std::array<float, 3>, 2> Reserved2x3{};

  // The sighting slots the case was set up with (NPA of them), none when it
  // was not.
  std::vector<SlotResult> sightings;

  // The -999 rule: whether the case has the figure.
  bool Has(LegacyFigure figure) const {
    switch (figure) {
      case LegacyFigure::Start: return failure != CaseFailure::Npa;
      case LegacyFigure::InitialApproximation:
        return failure != CaseFailure::Npa && !initialApproximationFailed;
      case LegacyFigure::Position: return failure == CaseFailure::None;
      case LegacyFigure::Precision: return failure == CaseFailure::None && !unchecked;
    }
    return false;
  }
  // Tau: the critical value of the case's test in the run's table
  // (RunSettings::TauCriticalValues), where the case has one.
  std::optional<double> Tau(const std::array<double, kTauCount>& table) const {
    const int index = NumOfObs - 3;
    if (!Has(LegacyFigure::Precision) || index < 0 || index >= kTauCount) return std::nullopt;
    return table[static_cast<size_t>(index)];
  }
};

// The linear system of the last iteration of the case last computed in
// `t`, as the dump files print it. Valid until the next case is computed.
struct CaseSystem {
  const Matrix& DesignMatrix;
  const Vector& MisclosureVector;
  const Vector& WeightVector;
};
CaseSystem LastCaseSystem(const Tables& t);

}  // namespace treetri
