// The run record "run.json" in the work folder: what a run read (each input
// with size, time and SHA-256), with which parameters and azimuth
// correction, which corrections, which quality method, which files it wrote
// in which layout, when it started and ended and how far it got. Written
// when the run starts and again when it ends; "Open results", the
// GeoPackage metadata, the run summary and a replay read it back.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/run.h"
#include "data/tables.h"

namespace treetri {

inline constexpr const char* kRunRecordFileName = "run.json";
// The layout of run.json itself; raised when a key changes meaning.
inline constexpr int kRunRecordLayout = 1;

// What the programs know about a run that the tables do not hold.
struct RunRecordInfo {
  std::string program;  // "treetri" or "treetri-batch"
  // "case" (the per-case quality files) or "none" (--no-quality).
  std::string qualityMethod = "case";
  // Whether the azimuth correction was replayed from an earlier run
  // instead of drawn.
  bool azimuthCorrectionReplayed = false;
};

// The name the process was started by ("treetri", "treetri-batch").
std::string ThisProgramName();

// The sink that writes run.json, attached to a run like any observer;
// Simulate attaches one of its own when the program attaches none. A
// record it cannot write is reported by Error() and stops nothing.
class RunRecordSink : public RunHooks {
 public:
  // `input` and `session` are read when the run starts and ends; the file
  // goes to the work folder as it is when the run starts.
  RunRecordSink(const InputData& input, const Session& session, RunRecordInfo info)
      : input_(input), session_(session), info_(std::move(info)) {}
  bool OnRunStart(const RunSettings& settings, std::string& message) override;
  void OnCaseDone(const CaseReport& report) override;
  void OnRunEnd(bool completed) override;
  void DeclareFiles(const Tables& t, std::vector<RunFile>& files) const override {
    files.push_back({"run record", t.WorkFolder + kRunRecordFileName, RunFile::Use::Own});
  }
  // The last write's failure, empty when it was written.
  const std::string& Error() const { return error_; }

 private:
  bool Write();
  const InputData& input_;
  const Session& session_;
  RunRecordInfo info_;
  const RunSettings* settings_ = nullptr;
  std::string path_, started_, ended_, state_, error_;
  int casesDone_ = 0, caseCount_ = 0;
  FileFacts parameterFacts_;
};

// The text of a run record (JSON, two-space indentation, keys in a fixed
// order), for the sink and the tests.
struct RunRecordContent {
  RunRecordInfo info;
  std::string started, ended;  // ISO 8601 UTC; ended empty while running
  std::string state;           // "running", "completed", "cancelled"
  int casesDone = 0, caseCount = 0;
  std::string workFolder;
};
std::string RunRecordText(const RunRecordContent& content, const InputData& input,
                          const RunSettings& settings, const FileFacts& parameterFacts,
                          const std::string& parameterFile);

// What a program needs from an earlier run's record to replay it.
struct RunRecordSummary {
  std::string program, state, started, ended;
  int casesDone = 0, caseCount = 0;
  std::optional<double> azimuthCorrectionUsed;
  std::string correctionsFile, qualityMethod;
  struct Input {
    std::string role, path, sha256;
    long long size = 0;
  };
  std::vector<Input> inputs;
};
// Reads run.json; false, with a message naming the file and what is wrong,
// when it cannot be read or is not a run record.
bool ReadRunRecord(const std::string& path, RunRecordSummary& out, std::string& error);

// An input that changed since it was read: what it is, its name and what
// changed.
struct ChangedInput {
  std::string what, path, change;
};
// Compares the map, sighting and corrections files with their facts as
// read (size, time, SHA-256); the parameter file is read afresh by every
// run and is not listed.
std::vector<ChangedInput> ChangedInputs(const InputData& input);
// "The sighting file "X" changed since it was read (size 10 -> 12 bytes)."
std::string ChangedInputMessage(const ChangedInput& c);

}  // namespace treetri
