// The parts of the program-wide state that lie below the computation: the
// input data, the run settings and the session. positioning/tables.h
// composes them with the case work area into Tables.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_facts.h"

namespace treetri {

// Flags are 16-bit values holding -1 for true and 0 for false; only -1 counts
// as true.
using Flag = std::int16_t;
inline constexpr Flag kTrue = -1;
inline constexpr Flag kFalse = 0;
inline bool IsTrue(Flag f) { return f == kTrue; }
inline Flag ToFlag(bool b) { return b ? kTrue : kFalse; }

// A table indexed from 1 over a std::vector.
template <class T>
class Table {
 public:
  int Size() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  void Clear() { items_.clear(); }
  // Replaces the contents by n value-initialised records.
  void Recreate(int n) { items_.assign(n > 0 ? static_cast<size_t>(n) : 0, T{}); }
  // Keeps the first n records.
  void Shrink(int n) {
    if (n >= 0 && n < Size()) items_.resize(static_cast<size_t>(n));
  }
  void Append(const T& item) { items_.push_back(item); }
  void Reserve(int n) { items_.reserve(static_cast<size_t>(n)); }
  T& operator[](int i) { return items_[static_cast<size_t>(i - 1)]; }
  const T& operator[](int i) const { return items_[static_cast<size_t>(i - 1)]; }

 private:
  std::vector<T> items_;
};

// The 20 sighting slots of a field tree, indexed 1 to 20.
inline constexpr int kSlotCount = 20;
// Slots that the sighting file fills.
inline constexpr int kFileSlots = 5;
template <class T>
struct Slots {
  std::array<T, kSlotCount> items{};
  T& operator[](int k) { return items[static_cast<size_t>(k - 1)]; }
  const T& operator[](int k) const { return items[static_cast<size_t>(k - 1)]; }
};

inline constexpr int kMaxPhotoTrees = 5700;
inline constexpr int kMaxTargetTrees = 2000;

struct PhotoTree {
  std::int32_t Plot = 0;
  std::int32_t Tree = 0;
  double X = 0, Y = 0;
  double Z = 0;
  double Value7 = 0;
  std::int32_t Species = 0;
  double Value10 = 0, Value9 = 0, Value8 = 0;
  std::string Text16;
  std::int16_t Code17 = 0;
};

struct SightedXYZ {
  double X = 0, Y = 0, Z = 0;
};

struct TargetTree {
  std::int32_t Plot = 0;
  std::int32_t Tree = 0;
  std::int32_t Species = 0;
  std::int32_t NPA = 0;
  std::int32_t DistanceCount = 0;
  std::int32_t AzimuthCount = 0;
  Slots<std::int32_t> SightedTree;
  Slots<std::int32_t> SightedSpecies;
  Slots<SightedXYZ> Sighted;  // SightedX, SightedY, SightedZ of each slot
  Slots<double> Azimuth;
  Slots<double> Distance;
  Slots<Flag> HasDistance;
  Slots<Flag> HasAzimuth;
};

struct RunParameters {
  std::string ResultsFileName;
  std::int32_t Item4 = 0;
  double AzimuthCorrection = 0;
  double Item8a = 0, Item8b = 0;
  double SigmaMapX = 0, SigmaMapY = 0;
  std::int32_t BlockRows = 0;
  std::array<std::array<double, 2>, 4> Block{};
  double Item18 = 0, Item20 = 0, Item22 = 0, Item24 = 0, Item28 = 0;
  double SigmaDistance = 0;
  double Item32 = 0;
  double SigmaAzimuth = 0;
  Flag Item36 = kFalse;
};

inline constexpr int kTauCount = 29;
inline constexpr std::array<double, kTauCount> kTauCriticalValues = {
    55.0,             3.5163639615013,  2.58851466030293, 2.38320459203882, 2.29373589135547,
    2.24316748793815, 2.21046085464164, 2.18750748837101, 2.17047552871447, 2.15731617919514,
    2.14684407620411, 2.1383119392288,  2.1312126269278,  2.12521877179153, 2.12008514417304,
    2.11565062799119, 2.11176316036548, 2.1083395253711,  2.10530008160788, 2.10258338291667,
    2.10013609335436, 2.09792345581762, 2.09591270592162, 2.09407750489925, 2.09239698036049,
    2.09085103863992, 2.08941987025281, 2.08809534661565, 2.08687407583499};

// The input data, owned by the two readers: the map, the field trees and
// their count.
struct InputData {
  Table<PhotoTree> PhotoTrees;
  // Whether a map file has been read since start-up.
  bool MapRead = false;
  // The names of the map and sighting files last read, which a run must
  // never write over.
  std::string MapFileName, SightingFileName;
  // The corrections file applied to TargetTrees after reading (empty when
  // none) and how many of its lines were applied.
  std::string CorrectionsFileName;
  int CorrectionsApplied = 0;
  // Size, time and checksum of each file as it was read, for the run record
  // and to tell that a file changed since.
  FileFacts MapFacts, SightingFacts, CorrectionsFacts;

  Table<TargetTree> TargetTrees;
  std::int32_t TargetTreeCount = 0;
};

// The run's settings, owned by the parameter reader and the run driver.
struct RunSettings {
  RunParameters Parameters;
  // When set, the next runs use this AzimuthCorrection instead of the
  // file's value with a random addition: the replay of an earlier run.
  std::optional<double> ReplayAzimuthCorrection;
  // The AzimuthCorrection as the parameter file gives it, before the run's
  // random addition (or the replay) replaced it in Parameters.
  double AzimuthCorrectionInFile = 0;
  std::array<double, kTauCount> TauCriticalValues{};  // indices 0 to 28
};

// The session, owned by the start-up routine and the run driver: the work
// folder, the generator and whether a run is under way.
struct Session {
  std::string WorkFolder;
  // State of the pseudo-random generator of the run driver; the same at every
  // program start.
  std::uint64_t RandomState = 0x7265657472697431ULL;
  // True while a positioning run is under way (the desktop program disables
  // the commands that would change the tables).
  bool RunInProgress = false;
};

}  // namespace treetri
