// The corrections of a sighting file, "corrections.csv" in the work folder:
// its layout, reader and appender, the undo line, and how a run applies the
// lines to the sightings it read. The sighting file itself is never
// written; a run that uses corrections writes the corrected records as
// "NAME.corrected.txt" in the work folder.
//
// The file is UTF-8 CSV with the header
//   time,plot,tree,slot,field,old,new,reason,verdict,suspect_kind
// and one line per edit, CR LF line ends (LF is read too), a text with a
// comma or a quote in double quotes with doubled inner quotes. It is only
// ever appended to: an undo is the inverse line, appended.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "data/tables.h"

namespace treetri {

inline constexpr const char* kCorrectionsFileName = "corrections.csv";
inline constexpr std::array<const char*, 10> kCorrectionColumns = {
    "time", "plot", "tree", "slot", "field", "old", "new", "reason", "verdict", "suspect_kind"};

// What a line changes in slot `slot` of a field tree: the sighted tree's
// number, the distance, the azimuth, or distance and azimuth together.
enum class CorrectionField { Tree, Distance, Azimuth, Sighting };
// "tree", "distance", "azimuth", "sighting".
const char* CorrectionFieldWord(CorrectionField f);
bool ParseCorrectionField(const std::string& word, CorrectionField& out);

// One line of corrections.csv. oldValue and newValue are texts as the
// sighting file writes its numbers; for field sighting they are
// "DISTANCE/AZIMUTH" (e.g. "7.26/187.4"). An empty newValue drops the
// distance, the azimuth or the whole sighting (its values become -1; a
// dropped sighting keeps its tree number). An empty oldValue stands for a
// value that was not measured (-1). verdict and suspectKind are those of
// the quality files that the edit answered, or empty.
struct Correction {
  std::string time;  // ISO 8601, e.g. 2026-12-07T03:40:12Z
  int plot = 0;
  int tree = 0;  // the field tree
  int slot = 0;  // 1 to 5
  CorrectionField field = CorrectionField::Tree;
  std::string oldValue, newValue;
  std::string reason;
  std::string verdict, suspectKind;
  int line = 0;  // line in the file it was read from (0 for a new one)
};

// The header line and a line of the file, each ending with CR LF. Line
// breaks in the texts become blanks.
std::string CorrectionsHeaderLine();
std::string FormatCorrectionLine(const Correction& c);

// The current time in UTC as ISO 8601 to the second ("2026-12-07T03:40:12Z").
std::string IsoTimeNow();

// The line that undoes `c`: old and new swapped, reason "undo", the same
// verdict and suspect kind, stamped `time`.
Correction InverseCorrection(const Correction& c, const std::string& time);

// What a sighting record holds in slot `slot`'s field, as the sighting file
// writes it: the old value of a correction ("7.26/187.4" for a sighting).
std::string CorrectionFieldText(const TargetTree& r, int slot, CorrectionField field);

// Parses the text of a corrections file named `path`: the header exactly as
// above (a UTF-8 byte-order mark is skipped), then one correction per line
// that is not blank. False on the first bad line, with a message naming the
// file, the line and the field; `out` then holds the lines before it.
bool ParseCorrections(const std::string& text, const std::string& path,
                      std::vector<Correction>& out, std::string& error);
bool ReadCorrectionsFile(const std::string& path, std::vector<Correction>& out,
                         std::string& error);

// Appends `c` as one complete line to the corrections file `path`, with the
// header first when the file is new or empty (a last line without its line
// end gets one first). For a caller that holds the work folder's lock.
bool AppendCorrectionLine(const std::string& path, const Correction& c, std::string& error);
// The same for the corrections file of work folder `folder` (ending with the
// separator), under the folder's lock for the time of the write: refused
// while a run or another program holds the lock.
bool RecordCorrection(const std::string& folder, const Correction& c, std::string& error);

// Applies one correction to the sighting records of `input`: it matches the
// record of its plot and field tree whose slot holds the old value (numbers
// compared as numbers); a field tree found twice is matched only when the
// old value singles out one record. The changed record is looked up on the
// map again. False, changing nothing, when the line does not match; `error`
// names the corrections file `path`, the line and the records. `record` is
// the record (case number) changed.
bool ApplyCorrection(InputData& input, const Correction& c, const std::string& path, int& record,
                     std::string& error);
// Applies the lines in order, each to the records as the lines before it
// left them, and notes the file in input.CorrectionsFileName. False at the
// first line that does not match; the records are then as they were.
bool ApplyCorrections(InputData& input, const std::vector<Correction>& corrections,
                      const std::string& path, std::string& error);

// Reads the corrections file `path` and applies it to `input`, noting its
// facts (size, time, checksum) for the run record. False, with the message,
// when the file cannot be read or a line is bad or does not match.
// `lines` (optional) gets the lines read.
bool UseCorrectionsFile(InputData& input, const std::string& path, std::string& error,
                        std::vector<Correction>* lines = nullptr);

// The name of the corrected sighting file in `folder`: the sighting file's
// name without its folder and last extension, then ".corrected.txt".
std::string CorrectedSightingName(const std::string& folder, const std::string& sightingPath);
// The records of `input` in the layout of the sighting file.
std::string CorrectedSightingText(const InputData& input);

}  // namespace treetri
