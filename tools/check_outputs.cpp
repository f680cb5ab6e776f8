// treetri-check: tells whether the files a run wrote are intact, for
// instance after a run was interrupted or the disk filled up.
#include <cstdio>
#include <cstring>
#include <string>

#include "output/output_check.h"
#include "platform/files.h"
#include "platform/run_guard.h"

int main(int argc, char** argv) {
  treetri::OpenStandardDescriptors();
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fputs(
        "usage: treetri-check RESULTS [MAPDATA]\n"
        "Checks a results file (and a mapdata.txt): every line complete, every\n"
        "field in the program's form, the field count of each case line as its NPA\n"
        "gives. Prints each problem; exit status 0 when there is none, 1 otherwise.\n",
        argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  int problems = 0;
  for (int i = 1; i < argc && i <= 2; ++i) {
    std::string text, error;
    if (!treetri::ReadWholeFile(argv[i], text, error)) {
      std::fprintf(stderr, "%s: %s\n", argv[i], error.c_str());
      return 1;
    }
    const auto found = i == 1 ? treetri::CheckResultsText(text) : treetri::CheckMapDataText(text);
    for (const std::string& p : found) std::printf("%s: %s\n", argv[i], p.c_str());
    problems += static_cast<int>(found.size());
  }
  if (problems == 0) std::printf("no problems found\n");
  return problems == 0 ? 0 : 1;
}
