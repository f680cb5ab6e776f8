// treetri-batch: the positioning run without windows. Reads the map and the
// sighting file named on the command line, runs once in the current
// directory and writes the results list to standard output and every message
// to standard error.
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/corrections.h"
#include "core/export_observer.h"
#include "core/export_target.h"
#include "core/quality_observer.h"
#include "core/remeasure.h"
#include "core/run_record.h"
#include "data/field_reader.h"
#include "core/run_guard.h"
#include "core/run.h"
#include "core/startup.h"
#include "data/readers.h"
#include "gis/crs_check.h"
#include "gis/gpkg_export.h"
#include "gis/run_export.h"
#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/headless_ui.h"
#include "platform/run_guard.h"
#include "platform/temporary_files.h"

namespace {

const char* const kUsage =
    "usage: treetri-batch [--no-quality | --gpkg OUT.gpkg [--crs CRS [--force-crs]]] MAP SIGHTINGS\n"
    "       [--corrections FILE] [--remeasure FILE.csv] [--azimuth-correction-used VALUE|RUN.json]\n"
    "       [--quality case|network [--azimuth-bias none]]\n"
    "       treetri-batch --help | --version\n"
    "\n"
    "Positions the field trees of SIGHTINGS against the photo-tree map MAP, with\n"
    "the run parameters of SimulationInputParameters2.txt in the current directory.\n"
    "The results list goes to standard output, messages to standard error; the\n"
    "results file, mapdata.txt and the dump files are written as in the desktop\n"
    "program.\n"
    "\n"
    "Every case is also adjusted rigorously and tested for gross errors; the\n"
    "figures go to quality.csv and observations.csv in the current directory\n"
    "and a count of the verdicts to standard error. --no-quality leaves this out\n"
    "and removes the quality files of an earlier run, which would not describe\n"
    "this one.\n"
    "\n"
    "--quality network adjusts every field tree of a plot together with the map\n"
    "trees it sights and one azimuth bias of the plot (--azimuth-bias none leaves\n"
    "the bias out), and writes quality.csv and observations.csv with the network's\n"
    "columns, plots.csv and map_trees.csv, plot by plot when the run ends;\n"
    "--quality case (the default) adjusts each field tree alone.\n"
    "\n"
    "Options may stand anywhere among the file names, as --name VALUE or\n"
    "--name=VALUE; -- ends the options.\n"
    "\n"
    "--gpkg OUT.gpkg writes the results as a GeoPackage after the run: the layers\n"
    "field_trees, map_trees, sightings, confidence_ellipses and remeasure (the\n"
    "re-measure list; with --quality network also plots), with the run record\n"
    "as its metadata, in the coordinate reference system CRS (EPSG:NNNN or any\n"
    "definition GDAL accepts, read whole); without --crs the layers carry none.\n"
    "The CRS must fit the map's coordinates: a geographic one needs degrees, a\n"
    "projected one must put them inside its area of use (the example data and\n"
    "treetri-simulate's default origin are in EPSG:2393, KKJ / Finland Uniform\n"
    "Coordinate System); a mismatch is refused (status 2) unless --force-crs is\n"
    "given, which exports with a warning.\n"
    "\n"
    "--corrections FILE applies the corrections (corrections.csv, as the desktop\n"
    "program records them) to the sightings read; the sighting file is never\n"
    "written, the corrected sightings go to NAME.corrected.txt in the current\n"
    "directory. A line whose old value does not match is refused, naming it.\n"
    "--remeasure FILE.csv writes the list of field trees to measure again.\n"
    "--azimuth-correction-used replays the azimuth correction of an earlier run\n"
    "(the value, or the run record run.json that holds it) instead of drawing\n"
    "one. Every run writes its record, run.json, in the current directory.\n"
    "\n"
    "Exit status: 0 when the run went through, 1 when an input file or the\n"
    "parameter file could not be read, the run stopped, standard output was\n"
    "closed before the list was complete or the GeoPackage could not be\n"
    "written, 2 for wrong usage or an unknown CRS.\n";

std::string Significant17(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
  return std::string(buf, res.ptr);
}

}  // namespace

int main(int argc, char** argv) {
  treetri::OpenStandardDescriptors();
  // A write past a file-size limit or into a closed pipe must fail with an
  // error the program reports, not end it.
  treetri::TreatWriteSignalsAsErrors();
  treetri::CommandLine cl("treetri-batch", kUsage);
  cl.Flag("--no-quality");
  cl.Value("--gpkg");
  cl.Value("--crs");
  cl.Flag("--force-crs");
  cl.Value("--corrections");
  cl.Value("--remeasure");
  cl.Value("--azimuth-correction-used");
  cl.Value("--quality");
  cl.Value("--azimuth-bias");
  if (!cl.Parse(argc, argv)) return cl.ExitStatus();
  const std::vector<std::string>& files = cl.Operands();
  if (files.size() != 2)
    return cl.UsageError(files.size() < 2 ? "needs the files MAP and SIGHTINGS"
                                          : "takes two files, MAP and SIGHTINGS, not " +
                                                std::to_string(files.size()));
  const bool withQuality = !cl.Has("--no-quality");
  const std::string method = cl.Has("--quality") ? cl.Get("--quality") : "case";
  if (method != "case" && method != "network")
    return cl.UsageError("--quality takes case or network, not \"" + method + "\"");
  const bool network = method == "network";
  if (cl.Has("--quality") && !withQuality)
    return cl.UsageError("option --quality goes without --no-quality");
  if (cl.Has("--azimuth-bias") && (cl.Get("--azimuth-bias") != "none" || !network))
    return cl.UsageError("option --azimuth-bias takes none, with --quality network");
  const std::string gpkgName = cl.Get("--gpkg");
  const char* gpkg = cl.Has("--gpkg") ? gpkgName.c_str() : nullptr;
  const std::string crs = cl.Get("--crs");
  const bool crsGiven = cl.Has("--crs");
  if (crsGiven && !gpkg) return cl.UsageError("option --crs goes with --gpkg");
  if (cl.Has("--force-crs") && !crsGiven) return cl.UsageError("option --force-crs goes with --crs");
  if (gpkg && !withQuality)
    return cl.UsageError("option --gpkg needs the quality figures; leave out --no-quality");
  const std::string correctionsName = cl.Get("--corrections");
  const std::string remeasureName = cl.Get("--remeasure");
  const std::string replayText = cl.Get("--azimuth-correction-used");
  const char* corrections = cl.Has("--corrections") ? correctionsName.c_str() : nullptr;
  const char* remeasure = cl.Has("--remeasure") ? remeasureName.c_str() : nullptr;
  const char* replay = cl.Has("--azimuth-correction-used") ? replayText.c_str() : nullptr;
  if (remeasure && !withQuality)
    return cl.UsageError("option --remeasure needs the quality figures; leave out --no-quality");
  const char* const mapFile = files[0].c_str();
  const char* const sightingFile = files[1].c_str();
  // Neither an input file nor an unknown CRS: refused before anything is
  // run or written.
  if (gpkg && (treetri::SameFile(gpkg, mapFile) || treetri::SameFile(gpkg, sightingFile))) {
    std::fprintf(stderr, "The GeoPackage \"%s\" is an input file; it is not overwritten.\n", gpkg);
    return 2;
  }
  if (remeasure && (treetri::SameFile(remeasure, mapFile) || treetri::SameFile(remeasure, sightingFile) ||
                    (corrections && treetri::SameFile(remeasure, corrections)))) {
    std::fprintf(stderr, "The re-measure list \"%s\" is an input file; it is not overwritten.\n",
                 remeasure);
    return 2;
  }
  // The azimuth correction to replay: a number, or the run record of the
  // run to replay.
  std::optional<double> replayValue;
  if (replay) {
    double v = 0;
    treetri::RunRecordSummary record;
    std::string error;
    if (treetri::ParseReal(replay, v)) {
      replayValue = v;
    } else if (treetri::ReadRunRecord(replay, record, error)) {
      replayValue = record.azimuthCorrectionUsed;
    } else {
      std::fprintf(stderr, "--azimuth-correction-used: \"%s\" is not a number. %s\n", replay,
                   error.c_str());
      return 2;
    }
  }
  // Only a regular file is ever replaced (the export checks again right
  // before its rename).
  for (const char* target : {gpkg, remeasure}) {
    if (const std::string kind = target ? treetri::NonRegularKind(target) : ""; !kind.empty()) {
      std::fprintf(stderr, "The %s \"%s\" is %s, not a regular file; it is not replaced.\n",
                   target == gpkg ? "GeoPackage" : "re-measure list", target, kind.c_str());
      return 2;
    }
  }
  if (crsGiven) {
    const treetri::gis::ExportStatus check = treetri::gis::CheckCrs(crs);
    if (!check.Ok()) {
      std::fprintf(stderr, "%s\n", check.message.c_str());
      return 2;
    }
  }
  // A target that cannot be written is found now, not after the run.
  std::string targetError;
  if (gpkg && !treetri::CheckWritableTarget(gpkg, targetError)) {
    std::fprintf(stderr, "The GeoPackage %s. Nothing was run.\n", targetError.c_str());
    return 1;
  }
  if (remeasure && !treetri::CheckWritableTarget(remeasure, targetError)) {
    std::fprintf(stderr, "The re-measure list %s. Nothing was run.\n", targetError.c_str());
    return 1;
  }

  treetri::Tables t;
  treetri::HeadlessUi ui;
  ui.recordDrawing = false;
  const bool progress = isatty(STDERR_FILENO) == 1;
  bool progressShown = false;
  auto clearProgress = [&] {
    if (progressShown) std::fputs("\r\033[K", stderr);
    progressShown = false;
  };
  ui.onMessage = [&](const std::string& m) {
    clearProgress();
    std::fputs(m.c_str(), stderr);
    std::fputc('\n', stderr);
    ui.messages.clear();  // the stream has it; no need to keep a long run's messages
  };
  // Standard output carries only the list: when it is closed (a reader such
  // as "head" has gone) the run still completes its files, and the exit
  // status tells that the list is incomplete.
  ui.onListAdd = [&](const std::string& line) {
    ui.list.clear();
    if (std::ferror(stdout)) return;
    std::fputs(line.c_str(), stdout);
    std::fputs("\n", stdout);
  };

  if (!treetri::StartUp(t, ui)) return 1;
  if (!treetri::ReadPhotoMapFile(t, ui, mapFile)) return 1;
  if (!treetri::ReadSightingFile(t, ui, sightingFile)) return 1;
  // The CRS must fit the map's coordinates, checked before the run.
  if (crsGiven) {
    treetri::PlaneExtent extent;
    for (int i = 1; i <= t.PhotoTrees.Size(); ++i) extent.Add(t.PhotoTrees[i].X, t.PhotoTrees[i].Y);
    const treetri::gis::ExportStatus fits =
        treetri::gis::CheckCrsFitsExtent(crs, extent, cl.Has("--force-crs"));
    if (!fits.Ok()) {
      std::fprintf(stderr, "%s\n", fits.message.c_str());
      return 2;
    }
    if (!fits.warning.empty()) std::fprintf(stderr, "%s\n", fits.warning.c_str());
  }
  std::vector<treetri::Correction> correctionLines;
  if (corrections) {
    std::string error;
    if (!treetri::UseCorrectionsFile(t, corrections, error, &correctionLines)) {
      ui.MessageBox(error);
      return 1;
    }
  }
  for (const treetri::ChangedInput& c : treetri::ChangedInputs(t))
    ui.MessageBox(treetri::ChangedInputMessage(c));
  t.ReplayAzimuthCorrection = replayValue;

  // The progress line on a terminal: every 50th case and the last.
  struct Progress : treetri::RunHooks {
    std::function<void(int, int)> show;
    void OnCaseDone(const treetri::CaseReport& r) override {
      if (r.caseNumber == r.caseCount || r.caseNumber % 50 == 1) show(r.caseNumber, r.caseCount);
    }
  } progressLine;
  progressLine.show = [&](int i, int n) {
    std::fprintf(stderr, "\r\033[Kcase %d of %d", i, n);
    progressShown = true;
  };
  // The run's feedback shows no progress (the line above is an observer of
  // its own) and keeps nothing: each message goes to standard error as the
  // run makes it.
  treetri::MessagesToUi toStderr(ui);
  treetri::Feedback feedback(&toStderr, treetri::Feedback::Keep::Nothing);
  treetri::QualityObserver quality(t, feedback, withQuality);
  if (network) quality.UseNetwork({!cl.Has("--azimuth-bias")});
  treetri::ExportObserver exporter(t.PhotoTrees, &quality, &t.TargetTrees);
  treetri::RunRecordInfo info;
  info.program = "treetri-batch";
  info.qualityMethod = withQuality ? method : "none";
  info.azimuthCorrectionReplayed = replayValue.has_value();
  treetri::RunRecordSink record(t, t, info);
  // The GeoPackage and the re-measure list are written after the run: the
  // run guard checks and locks them with the run's own files.
  treetri::FilesAfterRun afterRun;
  if (gpkg) afterRun.Add("GeoPackage", gpkg);
  if (remeasure) afterRun.Add("re-measure list", remeasure);
  std::vector<treetri::RunHooks*> hooks;
  hooks.push_back(&afterRun);
  hooks.push_back(&record);
  hooks.push_back(&quality);
  if (gpkg) hooks.push_back(&exporter);
  if (progress) hooks.push_back(&progressLine);
  const treetri::RunOutcome outcome = treetri::Simulate(t, ui, hooks, &feedback);
  clearProgress();
  std::fputs(("AzimuthCorrection used: " + Significant17(outcome.azimuthCorrectionUsed) + "\n").c_str(),
             stderr);
  if (quality.Began())
    std::fputs((treetri::quality::SummaryText(quality.Summary()) + "\n").c_str(), stderr);
  bool recorded = true;
  if (!record.Error().empty()) {
    std::fprintf(stderr, "%s\n", record.Error().c_str());
    recorded = false;
  }
  bool listed = true;
  if (remeasure && quality.Began()) {
    treetri::RunFile clash;
    std::string error;
    if (treetri::ExportTargetClash(t, remeasure, hooks, clash)) {
      std::fprintf(stderr, "The re-measure list \"%s\" is the %s \"%s\" of the run; it is not "
                   "overwritten.\n", remeasure, clash.what, clash.path.c_str());
      listed = false;
    } else if (!treetri::WriteRemeasureFileOfRun(t, t.WorkFolder, correctionLines, remeasure, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      listed = false;
    }
  }
  const bool listWhole = std::fflush(stdout) == 0 && !std::ferror(stdout);
  if (!listWhole)
    std::fputs("The results list could not be written whole to standard output (it was "
               "closed, or a write failed). The results file and mapdata.txt hold every case "
               "the run finished.\n",
               stderr);
  bool exported = true;
  // Nor the results file or any other file the run reads or writes: the
  // same list the run checks its results file against.
  treetri::RunFile clash;
  if (gpkg && treetri::ExportTargetClash(t, gpkg, hooks, clash)) {
    std::fprintf(stderr, "The GeoPackage \"%s\" is the %s \"%s\" of the run; it is not "
                 "overwritten.\n", gpkg, clash.what, clash.path.c_str());
    exported = false;
    gpkg = nullptr;
  }
  if (gpkg && outcome.cases > 0) {
    treetri::gis::ExportData data = exporter.Data();
    std::string error;
    if (network) {
      // The network's figures as its files hold them, plot by plot.
      exported = treetri::gis::AddNetworkFiles(data, t.WorkFolder, error);
      if (exported) treetri::gis::AddLeftOutSightings(data, t.TargetTrees);
    }
    // The re-measure list goes into the GeoPackage as its own layer.
    if (exported)
      data.remeasure = treetri::RemeasureFeatures(
          treetri::BuildRemeasureList(data.quality, data.observations, correctionLines, &t));
    // The run record as the run left it, for the GeoPackage's metadata.
    std::string reason;
    if (!treetri::ReadWholeFile(t.WorkFolder + treetri::kRunRecordFileName, data.runRecord, reason))
      data.runRecord.clear();
    if (exported) {
      const treetri::gis::ExportStatus s = treetri::gis::ExportGeoPackage(data, gpkg, crs);
      exported = s.Ok();
      error = exported ? s.warning : s.message;
    }
    if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
  }
  return outcome.parametersRead && outcome.completed && listWhole && exported && recorded &&
                 listed
             ? 0
             : 1;
}
