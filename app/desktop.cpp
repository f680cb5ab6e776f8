#include "app/desktop.h"

#include <charconv>
#include <cstdlib>
#include <cstdio>
#include <iostream>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QStringList>

#include "app/main_window.h"
#include "app/plot_map_window.h"
#include "core/export_target.h"
#include "core/run_guard.h"
#include "core/run_record.h"
#include "core/quality_observer.h"
#include "data/readers.h"
#include "platform/command_line.h"
#include "platform/qt/qt_ui.h"
#include "platform/files.h"
#include "platform/run_guard.h"
#include "platform/temporary_files.h"

namespace treetri {

namespace {

const char* const kUsage =
    "usage: treetri [--ask-folder]\n"
    "       treetri [--map FILE] [--sightings FILE] [--run] [--plot-map CASE]\n"
    "               [--screenshot OUT.png]\n"
    "       treetri --help | --version\n"
    "Without options the window opens for interactive work (it needs a display);\n"
    "it asks for a work folder first with --ask-folder or when the current folder\n"
    "has no parameter file.\n"
    "With any other option the program reads the map and the sighting file given, runs\n"
    "the positioning when --run is given, saves a picture of the main window (of\n"
    "the plot map window on case CASE with --plot-map) and ends; messages go to\n"
    "standard error. Without a display the scripted start draws offscreen.\n"
    "Options may come in any order, as --name VALUE or --name=VALUE; Qt's\n"
    "-platform, -style and -display are passed on to Qt.\n"
    "Exit status: 0 when done, 1 when a file could not be read or written, the\n"
    "run failed or there is no display, 2 for wrong usage.\n";

// The options of the scripted start, and Qt's own that are passed on.
CommandLine DesktopCommandLine() {
  CommandLine cl("treetri", kUsage);
  cl.Flag("--run");
  cl.Flag("--ask-folder");
  for (const char* name : {"--map", "--sightings", "--screenshot", "--plot-map"}) cl.Value(name);
  for (const char* name : {"-platform", "-style", "-display"}) cl.Value(name);
  return cl;
}

bool EnvEmpty(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr || *v == '\0';
}

QtMessageHandler previousHandler = nullptr;

// The offscreen platform notes on every window shown that it cannot pass on
// size hints or raise it; that is no news to the user.
void FilterQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.contains("propagateSizeHints") || text.contains("does not support raise"))
    return;
  if (previousHandler) previousHandler(type, context, text);
}

// A message as one line of standard error.
void MessageToStderr(const std::string& text) {
  std::string line = text;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  std::cerr << line << std::endl;
}

}  // namespace

bool ParseScriptOptions(const std::vector<std::string>& args, ScriptOptions& o,
                        std::string& error) {
  CommandLine cl = DesktopCommandLine();
  switch (cl.Read(args, error)) {
    case CommandLine::Outcome::kWrongUsage:
      return false;
    case CommandLine::Outcome::kHelp:
      o.help = true;
      return true;
    case CommandLine::Outcome::kVersion:
      o.version = true;
      return true;
    case CommandLine::Outcome::kRun:
      break;
  }
  if (!cl.Operands().empty()) {
    error = "takes no file names without an option: " + cl.Operands().front();
    return false;
  }
  o.run = cl.Has("--run");
  o.askFolder = cl.Has("--ask-folder");
  o.map = cl.Get("--map");
  o.sightings = cl.Get("--sightings");
  o.screenshot = cl.Get("--screenshot");
  o.qtPlatformGiven = cl.Has("-platform") || cl.Has("-display");
  o.scripted = o.run || cl.Has("--map") || cl.Has("--sightings") || cl.Has("--screenshot") ||
               cl.Has("--plot-map");
  if (cl.Has("--plot-map")) {
    const std::string value = cl.Get("--plot-map");
    const auto [end, ec] =
        std::from_chars(value.data(), value.data() + value.size(), o.plotMapCase);
    if (ec != std::errc() || end != value.data() + value.size() || o.plotMapCase < 1) {
      error = "option --plot-map needs a case number (1 or more), not " + value;
      return false;
    }
  }
  if (o.plotMapCase > 0 && o.screenshot.empty()) {
    error = "option --plot-map goes with --screenshot";
    return false;
  }
  return true;
}

namespace {

bool HasDisplay() {
  return !EnvEmpty("QT_QPA_PLATFORM") || !EnvEmpty("DISPLAY") || !EnvEmpty("WAYLAND_DISPLAY");
}

// Qt ends the process (abort) when it cannot open the display; the user gets
// a sentence and status 1 instead.
void ExitWithoutDisplay(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    FilterQtMessages(type, context, text);
    return;
  }
  std::string line = text.toStdString();
  for (char& c : line)
    if (c == '\n') c = ' ';
  std::fprintf(stderr, "treetri: cannot open the display (%s)\n", line.c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace

int RunDesktop(int argc, char** argv) {
  OpenStandardDescriptors();
  TreatWriteSignalsAsErrors();
  std::vector<std::string> args(argv + 1, argv + argc);
  ScriptOptions options;
  std::string error;
  if (!ParseScriptOptions(args, options, error)) {
    return DesktopCommandLine().UsageError(error);
  }
  if (options.help || options.version) {
    std::cout << (options.help ? std::string(kUsage) : DesktopCommandLine().VersionLine() + "\n");
    std::cout.flush();
    return std::cout ? 0 : 1;
  }
  // The picture's target is checked before anything is read or run.
  if (!options.screenshot.empty() && !CheckWritableTarget(options.screenshot, error)) {
    std::cerr << "treetri: the picture " << error << '\n';
    return 1;
  }
  if (!HasDisplay() && !options.qtPlatformGiven) {
    // Without a display the scripted start still works, offscreen; the
    // window for interactive work cannot open.
    if (!options.scripted) {
      std::cerr << "treetri: the desktop program needs a display (neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set). For a picture of a run without one use the "
                   "scripted start (treetri --help).\n";
      return 1;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }

  previousHandler = qInstallMessageHandler(ExitWithoutDisplay);
  QApplication app(argc, argv);
  qInstallMessageHandler(FilterQtMessages);
  QCoreApplication::setApplicationName("treetri");
  QCoreApplication::setApplicationVersion(TREETRI_VERSION);

  Tables tables;
  MainWindow window(tables);
  if (options.scripted) window.Ui().messageHook = MessageToStderr;

  // Without a folder for its files the program cannot work.
  if (!options.scripted) {
    if (!window.Start(options.askFolder)) return 1;
    window.show();
    return app.exec();
  }
  if (!window.RunStartUp()) return 1;
  window.show();

  bool ok = true;
  QCoreApplication::processEvents();
  if (!options.map.empty()) ok = ReadPhotoMapFile(tables, window.Ui(), options.map) && ok;
  if (!options.sightings.empty())
    ok = ReadSightingFile(tables, window.Ui(), options.sightings) && ok;
  if (options.run) ok = window.Simulate().completed && ok;
  QCoreApplication::processEvents();
  QWidget* pictured = &window;
  if (options.plotMapCase > 0) {
    pictured = window.ShowPlotMap(options.plotMapCase);
    if (!pictured) {
      std::cerr << "treetri: there is no case " << options.plotMapCase << " to show\n";
      return 1;
    }
    QCoreApplication::processEvents();
  }
  // The sinks a desktop run attaches declare the files the picture must not
  // be; the same check as the batch program's targets (with or without
  // --run), non-regular files included.
  Feedback declaring;
  QualityObserver quality(tables, declaring);
  RunRecordSink record(tables, tables, RunRecordInfo{});
  if (const std::string problem = options.screenshot.empty()
                                      ? ""
                                      : ExportTargetProblem(tables, options.screenshot,
                                                            {&quality, &record});
      !problem.empty()) {
    std::cerr << "treetri: the picture \"" << options.screenshot << "\" " << problem
              << "; it is not written over\n";
    return 1;
  }
  // No other run writes the picture while it is written.
  ExportTargetLock pictureLock;
  if (const std::string busy = options.screenshot.empty() ? "" : pictureLock.Take(options.screenshot);
      !busy.empty()) {
    std::cerr << "treetri: the picture \"" << options.screenshot << "\" " << busy
              << "; it is not written over\n";
    return 1;
  }
  if (!options.screenshot.empty()) {
    const QImage picture = pictured->grab().toImage();
    // Written whole under a temporary name beside it, then put in place.
    RemoveDeadTemporaries(options.screenshot);
    const std::string part = TemporaryNameBeside(options.screenshot, ".png");
    std::string reason;
    if (!picture.save(QString::fromLocal8Bit(part.c_str()), "PNG") ||
        !ReplaceFile(part, options.screenshot, reason)) {
      RemoveFile(part);
      std::cerr << "treetri: cannot save the picture to " << options.screenshot
                << (reason.empty() ? "" : ": " + reason) << '\n';
      ok = false;
    }
  }
  return ok ? 0 : 1;
}

}  // namespace treetri
