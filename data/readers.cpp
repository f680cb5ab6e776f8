#include "data/readers.h"

#include <new>

#include "data/field_reader.h"
#include "data/plot_tree_index.h"
#include "data/sighting_record.h"
#include "platform/files.h"
#include "platform/ui.h"

namespace treetri {

namespace {

// Reads the 17 fields of one map record.
bool ReadPhotoRecord(FieldReader& in, PhotoTree& p, FieldError& err) {
  std::string text;
  double discarded;
  in.BeginRecord();
  return in.ReadInt32(p.Plot, err) && in.ReadInt32(p.Tree, err) && in.ReadInt32(p.Species, err) &&
         in.ReadReal(p.X, err) && in.ReadReal(p.Y, err) && in.ReadReal(p.Z, err) &&
         in.ReadReal(p.Value7, err) && in.ReadReal(p.Value8, err) && in.ReadReal(p.Value9, err) &&
         in.ReadReal(p.Value10, err) && in.ReadReal(discarded, err) &&
         in.ReadReal(discarded, err) && in.ReadReal(discarded, err) && in.ReadText(text, err) &&
         in.ReadReal(discarded, err) && in.ReadText(p.Text16, err) && in.ReadInt16(p.Code17, err);
}

std::string Plural(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

void Open_PhotogrammetricMap(InputData& t, UserInterface& ui) {
  ui.SetDialogFilter(kMapDialogFilter);
  ui.SetDialogTitle(kMapDialogTitle);
  if (!ui.ShowOpenDialog()) return;
  ReadPhotoMapFile(t, ui, ui.DialogFileName());
}

namespace {

bool ReadPhotoMap(InputData& t, UserInterface& ui, const std::string& path) {
  std::string content, error;
  if (!ReadWholeFile(path, content, error)) {
    ui.MessageBox("The photogrammetric map file \"" + path + "\" cannot be opened: " + error +
                  ". The trees read before are kept.");
    return false;
  }
  t.MapFileName = path;
  t.MapFacts = FactsOfContent(path, content);
  FieldReader in(std::move(content));
  t.PhotoTrees.Clear();
  t.PhotoTrees.Reserve(kMaxPhotoTrees);
  t.MapRead = true;
  int n = 0;
  // Blank lines after the last record are no record (map exports often end so).
  while (!in.OnlyBlankLeft()) {
    PhotoTree p;
    FieldError err;
    if (!ReadPhotoRecord(in, p, err)) {
      ui.MessageBox("Error in the photogrammetric map file \"" + path + "\", " +
                    DescribeFieldError(n + 1, err) + ". " +
                    Plural(n, "complete record was", "complete records were") +
                    " read before it and kept.");
      return false;
    }
    t.PhotoTrees.Append(p);
    ++n;
  }
  ui.MessageBox(std::to_string(n) + " trees / fixed points read");
  t.PhotoTrees.Shrink(n);
  return true;
}

}  // namespace

// Running out of memory part-way ends the reading like a bad record: a
// message naming the file, and the tables hold the complete records read
// before.
bool ReadPhotoMapFile(InputData& t, UserInterface& ui, const std::string& path) {
  try {
    return ReadPhotoMap(t, ui, path);
  } catch (const std::bad_alloc&) {
    ui.MessageBox("The photogrammetric map file \"" + path + "\" does not fit in memory. " +
                  Plural(t.PhotoTrees.Size(), "complete record was", "complete records were") +
                  " read before the memory ran out and kept.");
    return false;
  }
}

void OPen_Field_observations(InputData& t, UserInterface& ui) {
  ui.SetDialogFilter(kSightingDialogFilter);
  ui.SetDialogTitle(kSightingDialogTitle);
  if (!ui.ShowOpenDialog()) return;
  ReadSightingFile(t, ui, ui.DialogFileName());
}

namespace {

bool ReadSightings(InputData& t, UserInterface& ui, const std::string& path) {
  auto fail = [&](const std::string& detail) {
    ui.MessageBox(kSightingErrorMessage);
    ui.MessageBox("The sighting file \"" + path + "\": " + detail + ". " +
                  Plural(t.TargetTreeCount, "complete record was", "complete records were") +
                  " read before it and kept.");
    return false;
  };

  std::string content, error;
  if (!ReadWholeFile(path, content, error)) {
    // Nothing is replaced: the tables keep what an earlier reading left.
    ui.MessageBox(kSightingErrorMessage);
    ui.MessageBox("The sighting file \"" + path + "\" cannot be opened: " + error + ".");
    return false;
  }
  t.SightingFileName = path;
  // The records are as the file holds them: no correction applied yet.
  t.CorrectionsFileName.clear();
  t.CorrectionsApplied = 0;
  t.CorrectionsFacts = FileFacts{};
  t.SightingFacts = FactsOfContent(path, content);
  FieldReader in(std::move(content));
  t.TargetTrees.Recreate(kMaxTargetTrees);
  t.TargetTreeCount = 0;

  // Where each (Plot, Tree) stands last in the map: a map that repeats a tree
  // gives one match per slot, the last record's.
  const PlotTreeIndex lastIndex(t.PhotoTrees);

  while (!in.AtEnd()) {
    const int record = t.TargetTreeCount + 1;
    if (record > kMaxTargetTrees)
      return fail("record " + std::to_string(record) + " (line " + std::to_string(in.Line()) +
                  ") does not fit: the table holds " + std::to_string(kMaxTargetTrees) +
                  " field trees");
    TargetTree rec;
    FieldError err;
    if (!ReadSightingRecord(in, rec, err)) return fail(DescribeFieldError(record, err));
    if (rec.NPA >= 1 && !t.MapRead)
      return fail("record " + std::to_string(record) +
                  " has sighted trees, but no photogrammetric map has been read");
    AttachSightedTrees(rec, t.PhotoTrees, lastIndex);
    t.TargetTrees[record] = rec;
    t.TargetTreeCount = record;
  }
  ui.MessageBox(std::to_string(t.TargetTreeCount) + " observed trees to be positioned ");
  return true;
}

}  // namespace

bool ReadSightingFile(InputData& t, UserInterface& ui, const std::string& path) {
  try {
    return ReadSightings(t, ui, path);
  } catch (const std::bad_alloc&) {
    ui.MessageBox(kSightingErrorMessage);
    ui.MessageBox("The sighting file \"" + path + "\" does not fit in memory. " +
                  Plural(t.TargetTreeCount, "complete record was", "complete records were") +
                  " read before the memory ran out and kept.");
    return false;
  }
}

}  // namespace treetri
