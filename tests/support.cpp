#include "tests/support.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gdal_priv.h>
#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/text.h"

namespace treetri::testing {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "treetri-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string TempFolder::Write(const std::string& name, const std::string& content) const {
  std::string full = path_ + "/" + name;
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out << content;
  return full;
}

std::string TempFolder::Read(const std::string& name) const {
  std::ifstream in(path_ + "/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool TempFolder::Exists(const std::string& name) const {
  return std::filesystem::exists(path_ + "/" + name);
}

std::vector<std::string> TempFolder::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::map<std::string, std::string> TempFolder::Snapshot() const {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(path_)) {
    const std::string name = e.path().filename().string();
    if (name != "stdout.txt" && name != "stderr.txt" && e.is_regular_file()) files[name] = Read(name);
  }
  return files;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  ForEachLine(text, [&](std::string_view line, int) { lines.emplace_back(line); });
  return lines;
}

std::vector<std::string> SplitFields(const std::string& line) { return SplitAt(line, ","); }

BatchResult RunProgram(const TempFolder& dir, const std::string& program, const std::string& args) {
  const std::string cmd = "cd '" + dir.Path() + "' && '" TREETRI_BIN_DIR "/" + program + "' " +
                          args + " > stdout.txt 2> stderr.txt";
  const int raw = std::system(cmd.c_str());
  BatchResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.outText = dir.Read("stdout.txt");
  r.errText = dir.Read("stderr.txt");
  r.out = SplitLines(r.outText);
  r.err = SplitLines(r.errText);
  return r;
}

std::string SourceText(const std::string& path) {
  std::string content, error;
  EXPECT_TRUE(ReadWholeFile(TREETRI_SOURCE_DIR "/" + path, content, error)) << error;
  return content;
}

std::string ExampleArg(const std::string& name) {
  return "'" TREETRI_SOURCE_DIR "/examples/" + name + "'";
}

std::unique_ptr<GDALDataset> OpenGeoPackage(const std::string& path) {
  GDALAllRegister();
  return std::unique_ptr<GDALDataset>(
      GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
}

bool MakeSocket(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
  const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const bool made = s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  if (s >= 0) ::close(s);
  return made;
}

}  // namespace treetri::testing

int main(int argc, char** argv) {
  // A write past a file-size limit must fail with an error, not end the test.
  std::signal(SIGXFSZ, SIG_IGN);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
