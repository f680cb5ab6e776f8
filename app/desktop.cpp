#include "app/desktop.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QStringList>

#include "app/main_window.h"
#include "app/plot_map_window.h"
#include "core/run_guard.h"
#include "data/readers.h"
#include "platform/qt/qt_ui.h"
#include "platform/run_guard.h"

namespace treetri {

namespace {

const char* const kUsage =
    "usage: treetri [--ask-folder]\n"
    "       treetri [--map FILE] [--sightings FILE] [--run] [--plot-map CASE]\n"
    "               [--screenshot OUT.png]\n"
    "Without options the window opens for interactive work; it asks for a work\n"
    "folder first with --ask-folder or when the current folder has no parameter\n"
    "file. With any other option the program reads the map and the sighting file\n"
    "given, runs the positioning when --run is given, saves a picture of the main\n"
    "window (of the plot map window on case CASE with --plot-map) and ends;\n"
    "messages go to standard error.\n";

bool IsScriptOption(const std::string& a) {
  for (const char* name : {"--map", "--sightings", "--screenshot", "--plot-map"}) {
    const std::string n = name;
    if (a == n || a.rfind(n + "=", 0) == 0) return true;
  }
  return a == "--run";
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
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      o.help = true;
      continue;
    }
    if (a == "--run") {
      o.run = o.scripted = true;
      continue;
    }
    if (a == "--ask-folder") {
      o.askFolder = true;
      continue;
    }
    std::string* target = nullptr;
    std::string plotMapCase;
    std::string name = a, value;
    const size_t eq = a.find('=');
    if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
    }
    if (name == "--map") target = &o.map;
    else if (name == "--sightings") target = &o.sightings;
    else if (name == "--screenshot") target = &o.screenshot;
    else if (name == "--plot-map") target = &plotMapCase;
    if (!target) {
      error = "unknown option: " + a;
      return false;
    }
    if (eq == std::string::npos) {
      if (i + 1 >= args.size()) {
        error = "option " + name + " needs a file name";
        return false;
      }
      value = args[++i];
    }
    if (value.empty()) {
      error = "option " + name + " needs a file name";
      return false;
    }
    *target = value;
    o.scripted = true;
    if (target == &plotMapCase) {
      const auto [end, ec] =
          std::from_chars(value.data(), value.data() + value.size(), o.plotMapCase);
      if (ec != std::errc() || end != value.data() + value.size() || o.plotMapCase < 1) {
        error = "option --plot-map needs a case number (1 or more), not " + value;
        return false;
      }
    }
  }
  if (o.plotMapCase > 0 && o.screenshot.empty()) {
    error = "option --plot-map goes with --screenshot";
    return false;
  }
  return true;
}

bool WantsScriptedStart(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (IsScriptOption(argv[i]) || std::strcmp(argv[i], "--help") == 0 ||
        std::strcmp(argv[i], "-h") == 0)
      return true;
  return false;
}

int RunDesktop(int argc, char** argv) {
  TreatWriteSignalsAsErrors();
  // Without a display the scripted start still works, offscreen.
  if (WantsScriptedStart(argc, argv) && EnvEmpty("QT_QPA_PLATFORM") && EnvEmpty("DISPLAY") &&
      EnvEmpty("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

  previousHandler = qInstallMessageHandler(FilterQtMessages);
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName("treetri");
  QCoreApplication::setApplicationVersion(TREETRI_VERSION);

  std::vector<std::string> args;
  const QStringList qtArgs = QCoreApplication::arguments();
  for (int i = 1; i < qtArgs.size(); ++i) args.push_back(qtArgs[i].toStdString());
  ScriptOptions options;
  std::string error;
  if (!ParseScriptOptions(args, options, error)) {
    std::cerr << "treetri: " << error << '\n' << kUsage;
    return 2;
  }
  if (options.help) {
    std::cout << kUsage;
    return 0;
  }

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
  RunFile clash;
  if (!options.screenshot.empty() && ExportTargetClash(tables, options.screenshot, clash)) {
    std::cerr << "treetri: the picture \"" << options.screenshot << "\" is the " << clash.what
              << " \"" << clash.path << "\"; it is not written over\n";
    return 1;
  }
  if (!options.screenshot.empty()) {
    const QImage picture = pictured->grab().toImage();
    if (!picture.save(QString::fromLocal8Bit(options.screenshot.c_str()), "PNG")) {
      std::cerr << "treetri: cannot save the picture to " << options.screenshot << '\n';
      ok = false;
    }
  }
  return ok ? 0 : 1;
}

}  // namespace treetri
