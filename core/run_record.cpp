#include "core/run_record.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <new>

#include "core/corrections.h"
#include "data/parameter_file.h"
#include "output/dump_files.h"
#include "output/results_format.h"
#include "platform/files.h"
#include "platform/run_guard.h"
#include "quality/quality_files.h"

namespace treetri {

namespace {

using Json = nlohmann::ordered_json;

// Layout names of the files a run writes: the legacy files keep theirs
// for good; the others carry a version number.
constexpr const char* kLegacyLayout = "legacy";

Json InputEntry(const char* role, const std::string& path, const FileFacts& f) {
  Json j;
  j["role"] = role;
  j["path"] = path.empty() ? std::string() : ResolvedName(path);
  if (f.known) {
    j["size"] = f.size;
    j["modified"] = ModifiedTimeText(f);
    j["sha256"] = f.sha256;
  } else {
    j["size"] = nullptr;
    j["modified"] = nullptr;
    j["sha256"] = nullptr;
  }
  return j;
}

Json Output(const std::string& file, const std::string& layout) {
  Json j;
  j["file"] = file;
  j["layout"] = layout;
  return j;
}

}  // namespace

std::string ThisProgramName() {
#ifdef __GLIBC__
  return program_invocation_short_name;
#else
  return "treetri";
#endif
}

std::string RunRecordText(const RunRecordContent& c, const InputData& input,
                          const RunSettings& settings, const FileFacts& parameterFacts,
                          const std::string& parameterFile) {
  const RunParameters& p = settings.Parameters;
  Json j;
  j["record_layout"] = kRunRecordLayout;
  j["program"] = c.info.program;
  j["version"] = TREETRI_VERSION;
  j["started"] = c.started;
  j["ended"] = c.ended.empty() ? Json(nullptr) : Json(c.ended);
  j["state"] = c.state;
  j["cases_done"] = c.casesDone;
  j["case_count"] = c.caseCount;
  j["work_folder"] = c.workFolder;
  Json inputs = Json::array();
  inputs.push_back(InputEntry("parameters", parameterFile, parameterFacts));
  inputs.push_back(InputEntry("map", input.MapFileName, input.MapFacts));
  inputs.push_back(InputEntry("sightings", input.SightingFileName, input.SightingFacts));
  if (!input.CorrectionsFileName.empty())
    inputs.push_back(InputEntry("corrections", input.CorrectionsFileName, input.CorrectionsFacts));
  j["inputs"] = inputs;
  Json par;
  par["results_file"] = p.ResultsFileName;
  par["sigma_map_x_m"] = p.SigmaMapX;
  par["sigma_map_y_m"] = p.SigmaMapY;
  par["sigma_distance_m"] = p.SigmaDistance;
  par["sigma_azimuth_rad"] = p.SigmaAzimuth;
  j["parameters"] = par;
  // The value every azimuth of the run was corrected by: the file's value
  // plus the run's random addition (or the value replayed).
  j["azimuth_correction_in_file_deg"] = settings.AzimuthCorrectionInFile;
  j["azimuth_correction_used_deg"] = p.AzimuthCorrection;
  j["azimuth_correction_replayed"] = c.info.azimuthCorrectionReplayed;
  if (input.CorrectionsFileName.empty()) {
    j["corrections"] = nullptr;
  } else {
    Json corr;
    corr["file"] = ResolvedName(input.CorrectionsFileName);
    corr["lines_applied"] = input.CorrectionsApplied;
    corr["corrected_sightings"] = CorrectedSightingName(c.workFolder, input.SightingFileName);
    j["corrections"] = corr;
  }
  j["quality_method"] = c.info.qualityMethod;
  Json outputs = Json::array();
  outputs.push_back(Output(ResolvedName(p.ResultsFileName), kLegacyLayout));
  outputs.push_back(Output(c.workFolder + kMapDataFileName, kLegacyLayout));
  for (const char* dump :
       {kDumpAFileName, kDumpLFileName, kDumpWeightsFileName, kDumpMatlabFileName})
    outputs.push_back(Output(c.workFolder + dump, kLegacyLayout));
  if (c.info.qualityMethod != "none") {
    const std::string quality = "quality-" + std::to_string(quality::kQualityFilesLayout);
    outputs.push_back(Output(c.workFolder + quality::kQualityFileName, quality));
    outputs.push_back(Output(c.workFolder + quality::kObservationsFileName, quality));
  }
  if (!input.CorrectionsFileName.empty())
    outputs.push_back(Output(CorrectedSightingName(c.workFolder, input.SightingFileName),
                             "sightings"));
  outputs.push_back(Output(c.workFolder + kRunRecordFileName,
                           "run-record-" + std::to_string(kRunRecordLayout)));
  j["outputs"] = outputs;
  // Names are 8-bit text: bytes that are not UTF-8 become U+FFFD rather
  // than stop the record.
  return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool RunRecordSink::OnRunStart(const RunSettings& settings, std::string& message) {
  (void)message;
  settings_ = &settings;
  path_ = session_.WorkFolder + kRunRecordFileName;
  started_ = IsoTimeNow();
  ended_.clear();
  state_ = "running";
  casesDone_ = 0;
  caseCount_ = input_.TargetTreeCount;
  std::string error;
  parameterFacts_ = FileFacts{};
  ReadFileFacts(session_.WorkFolder + kParameterFileName, parameterFacts_, error);
  Write();
  return true;
}

void RunRecordSink::OnCaseDone(const CaseReport& report) {
  casesDone_ = report.caseNumber;
  caseCount_ = report.caseCount;
}

void RunRecordSink::OnRunEnd(bool completed) {
  if (!settings_) return;
  ended_ = IsoTimeNow();
  state_ = completed ? "completed" : "cancelled";
  Write();
  settings_ = nullptr;
}

bool RunRecordSink::Write() {
  RunRecordContent c;
  c.info = info_;
  c.started = started_;
  c.ended = ended_;
  c.state = state_;
  c.casesDone = casesDone_;
  c.caseCount = caseCount_;
  c.workFolder = session_.WorkFolder;
  const std::string text = RunRecordText(c, input_, *settings_, parameterFacts_,
                                         session_.WorkFolder + kParameterFileName);
  OutputFile file;
  std::string error;
  if (!file.Create(path_, text, error)) {
    error_ = "The run record \"" + path_ + "\" cannot be written: " + error + ".";
    return false;
  }
  error_.clear();
  return true;
}

namespace {

bool ReadRunRecordText(const std::string& path, const std::string& text, RunRecordSummary& out,
                       std::string& error);

}  // namespace

bool ReadRunRecord(const std::string& path, RunRecordSummary& out, std::string& error) {
  std::string text, reason;
  if (!ReadWholeFile(path, text, reason)) {
    error = "The run record \"" + path + "\" cannot be read: " + reason + ".";
    return false;
  }
  try {
    return ReadRunRecordText(path, text, out, error);
  } catch (const std::bad_alloc&) {
    out = RunRecordSummary{};
    error = "The run record \"" + path + "\" cannot be read: out of memory.";
    return false;
  }
}

namespace {

bool ReadRunRecordText(const std::string& path, const std::string& text, RunRecordSummary& out,
                       std::string& error) {
  const Json j = Json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    error = "The run record \"" + path + "\" is not JSON.";
    return false;
  }
  auto text_of = [&](const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  auto int_of = [&](const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_number_integer() ? it->get<int>() : 0;
  };
  out = RunRecordSummary{};
  out.program = text_of("program");
  out.state = text_of("state");
  out.started = text_of("started");
  out.ended = text_of("ended");
  out.casesDone = int_of("cases_done");
  out.caseCount = int_of("case_count");
  out.qualityMethod = text_of("quality_method");
  const auto az = j.find("azimuth_correction_used_deg");
  if (az == j.end() || !az->is_number()) {
    error = "The run record \"" + path + "\" holds no azimuth_correction_used_deg.";
    return false;
  }
  out.azimuthCorrectionUsed = az->get<double>();
  const auto corr = j.find("corrections");
  if (corr != j.end() && corr->is_object() && corr->contains("file") &&
      (*corr)["file"].is_string())
    out.correctionsFile = (*corr)["file"].get<std::string>();
  const auto inputs = j.find("inputs");
  if (inputs != j.end() && inputs->is_array())
    for (const Json& e : *inputs) {
      if (!e.is_object()) continue;
      RunRecordSummary::Input in;
      if (e.contains("role") && e["role"].is_string()) in.role = e["role"].get<std::string>();
      if (e.contains("path") && e["path"].is_string()) in.path = e["path"].get<std::string>();
      if (e.contains("sha256") && e["sha256"].is_string())
        in.sha256 = e["sha256"].get<std::string>();
      if (e.contains("size") && e["size"].is_number_integer()) in.size = e["size"].get<long long>();
      out.inputs.push_back(in);
    }
  return true;
}

}  // namespace

std::vector<ChangedInput> ChangedInputs(const InputData& input) {
  std::vector<ChangedInput> changed;
  auto check = [&](const char* what, const std::string& path, const FileFacts& before) {
    if (path.empty() || !before.known) return;
    FileFacts now;
    std::string error;
    ReadFileFacts(path, now, error);
    const std::string change = FactsChange(before, now);
    if (!change.empty()) changed.push_back({what, path, change});
  };
  check("photogrammetric map file", input.MapFileName, input.MapFacts);
  check("sighting file", input.SightingFileName, input.SightingFacts);
  check("corrections file", input.CorrectionsFileName, input.CorrectionsFacts);
  return changed;
}

std::string ChangedInputMessage(const ChangedInput& c) {
  return "The " + c.what + " \"" + c.path + "\" changed since it was read (" + c.change +
         "); the run uses the data as read.";
}

}  // namespace treetri
