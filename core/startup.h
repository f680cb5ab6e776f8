// The start-up routine and the help text, shared by the desktop program and
// the batch program. No windows here.
#pragma once

#include <string>

#include "data/tables.h"

namespace treetri {

class UserInterface;

inline constexpr const char* kProbeFileName = "PILKKUTESTI.TXT";
inline constexpr const char* kDecimalSeparatorMessage =
    "TREETRI requires the use of point as decimal separator";
inline constexpr const char* kListSeparatorMessage =
    "TREETRI requires the use of comma as list separator";

// Sets WorkFolder from the current directory, tells the user where the files
// are expected and checks the number formatting with a probe file. Failures
// are reported by message boxes; the program goes on in every case.
void StartUp(Session& t, UserInterface& ui);

// Same, with the current directory given (tests, and a folder chosen on the
// command line).
void StartUpIn(Session& t, UserInterface& ui, const std::string& currentDirectory);

// The help window's text: four lines joined by line feeds.
std::string HelpText(const Session& t);

}  // namespace treetri
