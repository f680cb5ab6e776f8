// The start-up routine and the help text, shared by the desktop program and
// the batch program. No windows here.
#pragma once

#include <string>

#include "data/tables.h"
#include "platform/run_guard.h"

namespace treetri {

class UserInterface;

inline constexpr const char* kDecimalSeparatorMessage =
    "TREETRI requires the use of point as decimal separator";
inline constexpr const char* kListSeparatorMessage =
    "TREETRI requires the use of comma as list separator";
inline constexpr const char* kNoCurrentFolderMessage =
    "The current folder cannot be found (it may have been deleted or be out of reach). "
    "treetri keeps its files in the folder it is started in: start it in an existing folder.";

// Sets WorkFolder from the current directory, tells the user where the files
// are expected and checks the number formatting with a probe file. Failures
// of the check are reported by message boxes and the program goes on; a
// current folder that cannot be found is refused (false, after a message)
// and WorkFolder stays empty.
bool StartUp(Session& t, UserInterface& ui);

// Same, with the current directory given (tests, and a folder chosen on the
// command line); an empty name stands for a folder that cannot be found.
bool StartUpIn(Session& t, UserInterface& ui, const std::string& currentDirectory);

// The help window's text: four lines joined by line feeds.
std::string HelpText(const Session& t);

}  // namespace treetri
