// Start of the desktop program: the interactive window, or the scripted start
// that opens the given files, runs, saves a picture of the window and ends.
#pragma once

#include <string>
#include <vector>

namespace treetri {

struct ScriptOptions {
  bool scripted = false;  // any of the options below was given
  std::string map, sightings, screenshot;
  bool run = false;
  int plotMapCase = 0;  // --plot-map CASE: the picture is of the plot map window
  bool help = false;
  // --ask-folder: the interactive start asks for the work folder first (the
  // desktop menu's entry starts so).
  bool askFolder = false;
};

// Parses the arguments after the program name (Qt's own options removed).
// Returns false with a reason for an unknown option or a missing value.
bool ParseScriptOptions(const std::vector<std::string>& args, ScriptOptions& options,
                        std::string& error);

// Whether the raw command line asks for the scripted start or the usage text
// (looked at before the application object exists, to choose the platform:
// neither needs a display).
bool WantsScriptedStart(int argc, char** argv);

int RunDesktop(int argc, char** argv);

}  // namespace treetri
