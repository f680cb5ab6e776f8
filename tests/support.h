// Helpers shared by the tests: a temporary work folder and file writing.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

class GDALDataset;

namespace treetri::testing {

// A fresh empty folder under the system's temporary folder, removed with
// everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  // The folder's path without a trailing separator.
  const std::string& Path() const { return path_; }
  // The folder's path followed by the separator, as WorkFolder holds it.
  std::string WorkFolder() const { return path_ + "/"; }
  // Writes a file in the folder (bytes as given) and returns its full name.
  std::string Write(const std::string& name, const std::string& content) const;
  // Reads a file of the folder; empty when missing.
  std::string Read(const std::string& name) const;
  bool Exists(const std::string& name) const;
  // The names of the files in the folder, sorted.
  std::vector<std::string> Names() const;
  // Every plain file of the folder (through links) with its bytes, less the
  // output streams of RunBatch.
  std::map<std::string, std::string> Snapshot() const;

 private:
  std::string path_;
};

// Runs an installed program (treetri-batch by default) with the arguments in
// the folder, standard output and standard error to files there (so that
// neither is a terminal).
struct BatchResult {
  int status = -1;
  std::vector<std::string> out, err;  // by lines
  std::string outText, errText;
};
BatchResult RunProgram(const TempFolder& dir, const std::string& program, const std::string& args);
inline BatchResult RunBatch(const TempFolder& dir, const std::string& args) {
  return RunProgram(dir, "treetri-batch", args);
}

// A file of the source tree by its path from the tree's root; a failure when
// it cannot be read.
std::string SourceText(const std::string& path);
// The bundled example's files: a file's text, its path quoted for a command
// line, and the example's map and sightings so quoted.
inline std::string ExampleText(const std::string& name) { return SourceText("examples/" + name); }
std::string ExampleArg(const std::string& name);
inline std::string ExampleInputs() { return ExampleArg("map.txt") + " " + ExampleArg("sightings.txt"); }
// A GeoPackage opened read-only with GDAL; null where it cannot be opened.
std::unique_ptr<GDALDataset> OpenGeoPackage(const std::string& path);
// Makes a Unix-domain socket at the path; false where none can be made there.
bool MakeSocket(const std::string& path);

// Splits a text at CR LF (or LF) line ends; no empty last item for a final
// line end.
std::vector<std::string> SplitLines(const std::string& text);
// Splits at commas.
std::vector<std::string> SplitFields(const std::string& line);

}  // namespace treetri::testing
