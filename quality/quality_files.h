// The layout of the two quality files of a run, "quality.csv" (one line per
// case) and "observations.csv" (one line per observation used): the column
// lists, the words, the formatter and the parser of the assessments
// (quality/assessment.h) as lines. Writers, readers, tools and tests all go
// through this header.
//
// The files are UTF-8 CSV: a header line, comma-separated fields, a point as
// decimal separator, no thousands separators, an empty field where a value
// does not apply, CR LF line ends. A text field that holds a comma, a quote
// or a line break is quoted with doubled inner quotes.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quality/assessment.h"
#include "quality/csv_fields.h"

namespace treetri::quality {

inline constexpr const char* kQualityFileName = "quality.csv";
inline constexpr const char* kObservationsFileName = "observations.csv";
// The version of the two files' layout that the run record names: raised
// with every change of their columns or words.
inline constexpr int kQualityFilesLayout = 2;

inline constexpr std::array<const char*, 41> kQualityColumns = {
    "case",          "plot",           "tree",
    "species",       "legacy_status",  "legacy_iterations",
    "legacy_x_ini",  "legacy_y_ini",   "legacy_x",
    "legacy_y",      "legacy_sigma0",  "legacy_sx",
    "legacy_sy",     "legacy_tau",     "legacy_npa",
    "legacy_observations", "legacy_initial", "used_sightings",
    "redundancy",    "iterations",     "converged",
    "x",             "y",              "sigma0",
    "global_test",   "sx",             "sy",
    "ellipse_a",     "ellipse_b",      "ellipse_azimuth",
    "conf95_a",      "conf95_b",       "max_w",
    "suspect_kind",  "suspect_tree",   "suspect_w",
    "suspect_gross_error", "suggested_tree", "suggested_sigma0",
    "verdict",       "warnings"};

inline constexpr std::array<const char*, 15> kObservationColumns = {
    "case",        "plot",     "tree",     "slot",  "sighted_tree",      "kind",
    "observed",    "adjusted", "residual", "sigma", "redundancy_number", "w",
    "gross_error", "mdb",      "control"};

// The columns that a run of the plot network (--quality network) adds at the
// end of each file; the readers take files with or without them and read the
// columns above (quality/network_files.h writes them).
inline constexpr std::array<const char*, 4> kQualityNetworkColumns = {
    "method", "suggested_runner_up", "evidence", "confusable"};
inline constexpr std::array<const char*, 2> kObservationNetworkColumns = {"confusable_tree",
                                                                          "confusable_distance"};

// The words of the files: "ok", "outlier", "no redundancy", "failed",
// "not computed"; "azimuth", "distance", "map_x", "map_y"; "", "sighting",
// "map_tree" or "sighting_or_map_tree" besides the observation kinds; "", "weak", "uncontrolled"; "", "pass",
// "fail".
const char* VerdictWord(Verdict v);
const char* KindWord(ObservationKind k);
const char* SuspectKindWord(SuspectKind k);
const char* ControlWord(Control c);
const char* GlobalTestWord(GlobalTest g);
bool ParseVerdict(std::string_view word, Verdict& out);
bool ParseKind(std::string_view word, ObservationKind& out);
bool ParseSuspectKind(std::string_view word, SuspectKind& out);
bool ParseControl(std::string_view word, Control& out);
bool ParseGlobalTest(std::string_view word, GlobalTest& out);

// A removal beside the suspect (RemovedSighting) in a case's warnings:
//   also removed: slot 3 tree 17 azimuth (test 45.21)
// (kind: azimuth, distance, sighting or sighting_or_map_tree; test: its
// statistic in chi-square units), so that the re-measure list and whoever
// reads quality.csv find every one.
std::string RemovedSightingWarning(const RemovedSighting& r);
// Every such removal in a warnings text, in its order.
std::vector<RemovedSighting> RemovedSightingsIn(std::string_view warnings);

// Header lines and formatted lines, each ending with CR LF. Numbers are
// written without locale, fixed-point: coordinates, distances, sigmas, axes,
// gross errors, MDBs, tau 4 decimals, w 3, angles 5, redundancy numbers 4. A
// value that is not finite is written as an empty field; booleans as TRUE
// and FALSE (what R and pandas read as booleans without options).
std::string QualityHeaderLine();
std::string ObservationHeaderLine();
std::string FormatQualityLine(const CaseAssessment& row);
std::string FormatObservationLine(const ObservationAssessment& row);

// Parse one line (with or without its CR LF) back into a row.
ParseStatus ParseQualityLine(std::string_view line, CaseAssessment& out);
ParseStatus ParseObservationLine(std::string_view line, ObservationAssessment& out);

// Reads quality.csv or observations.csv: the header line must be the one
// the writer writes; blank lines are skipped; an empty file is an error.
// Rows are appended in file order; on failure `rows` holds the rows before
// the bad line.
FileReadStatus ReadQualityFile(const std::string& path, std::vector<CaseAssessment>& rows);
FileReadStatus ReadObservationsFile(const std::string& path, std::vector<ObservationAssessment>& rows);

// Both quality files of a run, read as one unit: every case of quality.csv
// with the observation lines of observations.csv.
struct QualityRunFiles {
  std::vector<CaseAssessment> cases;
  std::vector<ObservationAssessment> observations;
  bool observationsRead = false;  // false: optional and not there
  // What was left out, each naming the file and the line or the case.
  std::vector<std::string> warnings;
};

// Reads a run's two quality files as ReadQualityFile and ReadObservationsFile
// do, and then as one unit. A run stopped part-way (killed, a full disk, a
// size limit) may leave a last line without its line end in either file, or
// the observation lines of its last case without that case's line in
// quality.csv: those are left out, with a warning that names them. A case
// given twice in quality.csv, the lines of one case split apart in
// observations.csv, or observation lines of another case that quality.csv
// lacks are errors naming the line. With observationsOptional, a missing
// observations.csv is no error.
FileReadStatus ReadQualityRun(const std::string& qualityPath, const std::string& observationsPath,
                              bool observationsOptional, QualityRunFiles& run);

}  // namespace treetri::quality
