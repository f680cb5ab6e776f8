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
  bool version = false;
  bool qtPlatformGiven = false;  // -platform or -display for Qt
  // --ask-folder: the interactive start asks for the work folder first (the
  // desktop menu's entry starts so).
  bool askFolder = false;
};

// Parses the arguments after the program name (Qt's -platform, -style and
// -display are read and left to Qt). Returns false with a reason naming the
// option for an unknown option or a missing value.
bool ParseScriptOptions(const std::vector<std::string>& args, ScriptOptions& options,
                        std::string& error);

int RunDesktop(int argc, char** argv);

}  // namespace treetri
