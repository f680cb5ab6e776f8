#include "platform/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace treetri {

CommandLine::CommandLine(std::string program, std::string usage)
    : program_(std::move(program)), usage_(std::move(usage)) {}

void CommandLine::Flag(const std::string& name) { known_[name] = 0; }

void CommandLine::Value(const std::string& name, int count) { known_[name] = count; }

bool CommandLine::Parse(int argc, const char* const* argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return Parse(args);
}

bool CommandLine::Parse(const std::vector<std::string>& args) {
  std::string error;
  switch (Read(args, error)) {
    case Outcome::kRun:
      exitStatus_ = 0;
      return true;
    case Outcome::kHelp:
      std::fputs(usage_.c_str(), stdout);
      break;
    case Outcome::kVersion:
      std::fputs((VersionLine() + "\n").c_str(), stdout);
      break;
    case Outcome::kWrongUsage:
      exitStatus_ = UsageError(error);
      return false;
  }
  exitStatus_ = std::fflush(stdout) == 0 ? 0 : 1;
  return false;
}

CommandLine::Outcome CommandLine::Read(const std::vector<std::string>& args, std::string& error) {
  given_.clear();
  operands_.clear();
  auto fail = [&](const std::string& message) {
    error = message;
    return Outcome::kWrongUsage;
  };
  bool optionsEnded = false;
  bool help = false, version = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    // "-" alone is a name (standard input or output), never an option.
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      operands_.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    const size_t eq = a.find('=');
    const bool attached = a.rfind("--", 0) == 0 && eq != std::string::npos;
    const std::string name = attached ? a.substr(0, eq) : a;
    if (name == "--help" || name == "-h" || name == "--version") {
      if (attached) return fail("option " + name + " takes no value");
      (name == "--version" ? version : help) = true;
      continue;
    }
    const auto known = known_.find(name);
    if (known == known_.end()) return fail("unknown option " + name);
    if (given_.count(name)) return fail("option " + name + " is given twice");
    const int count = known->second;
    std::vector<std::string> values;
    if (count == 0 && attached) return fail("option " + name + " takes no value");
    if (attached) values.push_back(a.substr(eq + 1));
    while (static_cast<int>(values.size()) < count) {
      if (i + 1 >= args.size())
        return fail("option " + name + " needs " +
                    (count == 1 ? std::string("a value") : std::to_string(count) + " values"));
      values.push_back(args[++i]);
    }
    for (const std::string& v : values)
      if (v.empty()) return fail("option " + name + " needs a value, not an empty text");
    given_[name] = std::move(values);
  }
  if (help) return Outcome::kHelp;
  if (version) return Outcome::kVersion;
  return Outcome::kRun;
}

std::string CommandLine::VersionLine() const { return program_ + " " + TREETRI_VERSION; }

bool CommandLine::Has(const std::string& name) const { return given_.count(name) > 0; }

std::string CommandLine::Get(const std::string& name) const {
  const auto it = given_.find(name);
  return it == given_.end() || it->second.empty() ? std::string() : it->second.front();
}

const std::vector<std::string>& CommandLine::Values(const std::string& name) const {
  static const std::vector<std::string> none;
  const auto it = given_.find(name);
  return it == given_.end() ? none : it->second;
}

int CommandLine::UsageError(const std::string& message) const {
  Error(message);
  // The synopsis, up to the line that names --help; the whole text is
  // there on request.
  const std::string helpLine = "--help | --version\n";
  const size_t end = usage_.find(helpLine);
  if (end == std::string::npos) {
    std::fputs(usage_.c_str(), stderr);
  } else {
    std::fputs(usage_.substr(0, end + helpLine.size()).c_str(), stderr);
    std::fprintf(stderr, "(\"%s --help\" tells more)\n", program_.c_str());
  }
  return 2;
}

void CommandLine::Error(const std::string& message) const {
  std::fprintf(stderr, "%s: %s\n", program_.c_str(), message.c_str());
}

bool CheckWritableTarget(const std::string& path, std::string& error) {
  if (path.empty()) {
    error = "an empty file name cannot be written";
    return false;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    error = "\"" + path + "\" is a folder, not a file";
    return false;
  }
  const size_t slash = path.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "\"" + path + "\" cannot be written: its folder \"" + folder + "\" does not exist";
    return false;
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    error = "\"" + path + "\" cannot be written: its folder \"" + folder + "\" is not writable (" +
            std::strerror(errno) + ")";
    return false;
  }
  return true;
}

bool CheckWritableFolder(const std::string& path, std::string& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return CheckWritableTarget(path, error);
  if (!S_ISDIR(st.st_mode)) {
    error = "\"" + path + "\" is not a folder";
    return false;
  }
  if (::access(path.c_str(), W_OK | X_OK) != 0) {
    error = "the folder \"" + path + "\" is not writable (" + std::strerror(errno) + ")";
    return false;
  }
  return true;
}

}  // namespace treetri
