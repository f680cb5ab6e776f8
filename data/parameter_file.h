// The parameter file "SimulationInputParameters2.txt": 36 items in the field
// syntax, a label before every value. Odd items are labels; the values:
//   2 results file name        4 whole number (unused)   6 azimuth correction
//   8 two reals (unused)      10 SigmaMapX, SigmaMapY    12 block rows (0 to 4)
//  14 a pair of reals per block row                      16 text (skipped)
//  18, 20, 22, 24 reals (unused)                         26 text (skipped)
//  28 real (unused)           30 SigmaDistance           32 real (unused)
//  34 SigmaAzimuth            36 16-bit flag (0 false, otherwise true)
// The reader and the writer below are the one definition of this layout;
// the simulator, the tests and the fuzz targets write their files with it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "data/tables.h"

namespace treetri {

inline constexpr const char* kParameterFileName = "SimulationInputParameters2.txt";
inline constexpr int kParameterItemCount = 36;
inline constexpr int kBlockItem = 14;

// How reading went. On a failure, detail says where and what for the
// message ("item 4, field 4 (line 4): \"x\" is not a whole number").
struct ParameterReadStatus {
  bool ok = false;
  // Item 6 was read: the run driver adds its random part to it.
  bool azimuthCorrectionRead = false;
  std::string detail;
};

// Reads the items in order into p. Every value read before a failure keeps
// its new value; a block-row count outside 0..4 is not kept.
ParameterReadStatus ReadParameterText(std::string content, RunParameters& p);

// The texts of a parameter file to write: the label of every odd item, the
// value of every even item but 14, and one "X, Y" text per block row.
struct ParameterFileTexts {
  std::array<std::string, kParameterItemCount / 2> labels;
  std::array<std::string, kParameterItemCount / 2> values;
  std::vector<std::string> blockRows;
  // The text of item n, 1 to 36 (14: the first block row, made when there is none).
  std::string& Item(int n);
};

// A usable file: the usual labels, results file "results.txt", azimuth
// correction 0, standard errors 0.3 m (map), 0.05 m (distance) and 0.0175
// (azimuth), no block rows, 0 for the unused numbers.
ParameterFileTexts DefaultParameterTexts();

// The file's text, every line ending with CR LF.
std::string ParameterFileText(const ParameterFileTexts& texts);

}  // namespace treetri
