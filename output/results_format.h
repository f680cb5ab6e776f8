// The layouts of the results file, "mapdata.txt" and the results list: the
// header texts, the fields of a case and of a slot block, their forms and
// counts, and the status words. The results writer, the output checks, the
// statistics tool, the fuzz targets and the tests all take them from here.
#pragma once

#include <array>

#include "output/number_text.h"
#include "data/tables.h"
#include "positioning/case_result.h"

namespace treetri {

// Results file. A line holds the 15 case fields, 14 fields per slot block
// and the TypeOfIni; the header names them in the same order.
inline constexpr int kResultsCaseFields = 15;
inline constexpr int kResultsSlotFields = 14;
inline constexpr const char* kResultsHeaderCasePart =
    "Case,NumofIte,Plot-id,Tree-id, Sp, X_ini, Y_ini, X_adj, Y_adj, SigmaNull, SigmaX, SigmaY, "
    "Tau, NPA, NumOfObs, ";
inline constexpr const char* kResultsHeaderSlotPart =
    "Tree, Sp, Obs_X, Obs_Y, X_adj, Y_adj, Res_Azim, Res_Dist, IsDist, BaardaDist, Obs_dist, "
    "Is_Azim, Baarda_Azim, Obs_azim,";
inline constexpr const char* kResultsHeaderEnd = "TypeOfIni";

// Positions (from 0) of the case fields of a results line.
enum ResultsField {
  kFieldCase, kFieldIterations, kFieldPlot, kFieldTree, kFieldSpecies, kFieldX_ini, kFieldY_ini,
  kFieldX_adj, kFieldY_adj, kFieldSigmaNull, kFieldSigmaX, kFieldSigmaY, kFieldTau, kFieldNPA,
  kFieldNumOfObs
};

// The form of every field: 'i' a whole number, '0' to '5' that many
// decimals or "-999", 'b' True or False.
inline constexpr const char* kResultsCaseForms = "iiiii22223224ii";
inline constexpr const char* kResultsSlotForms = "ii222243b42b44";
// The words a TypeOfIni field may hold.
inline constexpr std::array<const char*, 3> kTypeOfIniWords = {"POLAR   ", "INTERSEC", "NONE    "};

// Slot blocks of a case with this NPA: NPA itself within 1..20, else none.
inline int ResultsSlotCount(int npa) { return npa >= 1 && npa <= kSlotCount ? npa : 0; }
// Fields of a results line (and of its header) with this many slot blocks.
inline int ResultsFieldCount(int slots) {
  return kResultsCaseFields + kResultsSlotFields * slots + 1;
}

// "mapdata.txt": tree, species, X_adj, Y_adj, six reserved values, then X_adj
// and Y_adj of every slot; every field ends with a comma.
inline constexpr const char* kMapDataFileName = "mapdata.txt";
inline constexpr int kMapDataCaseFields = 10;
inline constexpr const char* kMapDataCaseForms = "0022555555";
inline int MapDataFieldCount(int slots) { return kMapDataCaseFields + 2 * slots; }

// The results list: the header and ten parts per case joined by ", ".
inline constexpr const char* kListHeader =
    "C Nite Plot Tree   X-sol       Y-sol      SigmaN SigX SigY Status";
inline constexpr const char* kListSeparator = ", ";
inline constexpr int kListParts = 10;
inline constexpr const char* kListForms = "iiii22322";

// Missing numbers read kMissingText ("-999", output/number_text.h).

// The status words: " OK ", " ? ", "???? Point N erroneous?" (N the sighted
// tree, "?" when none stands out), "UNCHECKED", or "FAILED: " and a reason.
inline constexpr const char* kStatusOk = " OK ";
inline constexpr const char* kStatusDoubtful = " ? ";
inline constexpr const char* kStatusErroneous = "????";
inline constexpr const char* kStatusUnchecked = "UNCHECKED";
inline constexpr const char* kStatusFailed = "FAILED: ";
// The reason of a case that could not be adjusted; "" for None.
const char* FailureReason(CaseFailure f);
inline constexpr std::array<CaseFailure, 5> kFailures = {
    CaseFailure::Npa, CaseFailure::CoincidentPoint, CaseFailure::Singular,
    CaseFailure::TooManyRows, CaseFailure::NotFinite};

}  // namespace treetri
