// treetri-check: tells whether the files a run wrote are intact, for
// instance after a run was interrupted or the disk filled up.
#include <cstdio>
#include <string>

#include "output/output_check.h"
#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/run_guard.h"

namespace {

const char* const kUsage =
    "usage: treetri-check RESULTS [MAPDATA]\n"
    "       treetri-check --help | --version\n"
    "Checks a results file (and a mapdata.txt): every line complete, every\n"
    "field in the program's form, the field count of each case line as its NPA\n"
    "gives. Prints each problem; exit status 0 when there is none, 1 otherwise\n"
    "(or when a file cannot be read), 2 for wrong usage.\n";

}  // namespace

int main(int argc, char** argv) {
  treetri::OpenStandardDescriptors();
  treetri::CommandLine cl("treetri-check", kUsage);
  if (!cl.Parse(argc, argv)) return cl.ExitStatus();
  const auto& files = cl.Operands();
  if (files.empty() || files.size() > 2)
    return cl.UsageError(files.empty() ? "needs a results file" : "takes at most two files");
  int problems = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    std::string text, error;
    if (!treetri::ReadWholeFile(files[i], text, error)) {
      std::fprintf(stderr, "%s: %s\n", files[i].c_str(), error.c_str());
      return 1;
    }
    const auto found = i == 0 ? treetri::CheckResultsText(text) : treetri::CheckMapDataText(text);
    for (const std::string& p : found) std::printf("%s: %s\n", files[i].c_str(), p.c_str());
    problems += static_cast<int>(found.size());
  }
  if (problems == 0) std::printf("no problems found\n");
  return problems == 0 ? 0 : 1;
}
