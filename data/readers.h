// The two input readers: the photo-tree map and the sighting observations.
#pragma once

#include <string>

#include "data/tables.h"

namespace treetri {

class UserInterface;

inline constexpr const char* kMapDialogFilter = "Field plot data files (*.txt, *.csv)|*.*";
inline constexpr const char* kMapDialogTitle = "File which has photogrammetric control points!";
inline constexpr const char* kSightingDialogFilter = "Sighting obs files (*.txt, *.csv)|*.*";
inline constexpr const char* kSightingDialogTitle = "File which has azimuth-distance data!";
inline constexpr const char* kSightingErrorMessage =
    "An error in reading observations, only seprator \",\"  decimal \".\" space \" \" and "
    "numbers 0...9 allowed";

// Menu command: lets the user choose a map file and reads it. A cancelled
// dialog changes nothing.
void Open_PhotogrammetricMap(InputData& t, UserInterface& ui);
// Reads the named map file into PhotoTrees and reports the count (or the
// problem) in a message. Returns true when the whole file was read.
bool ReadPhotoMapFile(InputData& t, UserInterface& ui, const std::string& path);

// Menu command: lets the user choose a sighting file and reads it.
void OPen_Field_observations(InputData& t, UserInterface& ui);
// Reads the named sighting file into TargetTrees, looking every sighted tree
// up in PhotoTrees. Returns true when the whole file was read.
bool ReadSightingFile(InputData& t, UserInterface& ui, const std::string& path);

}  // namespace treetri
