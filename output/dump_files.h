// The four dump files of a case: the design matrix as "row col value"
// entries, the misclosures, the weights and the Matlab size line. Every line
// ends with CR LF; the files hold the system of the last iteration.
#pragma once

#include <string>

#include "platform/files.h"
#include "positioning/case_result.h"

namespace treetri {

inline constexpr const char* kDumpAFileName = "A_txt.txt";
inline constexpr const char* kDumpLFileName = "l_txt.txt";
inline constexpr const char* kDumpWeightsFileName = "weigths.txt";
inline constexpr const char* kDumpMatlabFileName = "Matlab.txt";

// The four texts of the system of a case's last iteration, into texts that
// are reused from case to case.
struct DumpTexts {
  std::string a, l, weights, matlab;
};
void FillDumpTexts(const LegacyCaseResult& r, const CaseSystem& system, DumpTexts& texts);

// The four files of a run's work folder, kept open from case to case (a
// link planted for one is not followed), with the texts they take.
class DumpFiles {
 public:
  // `folder` ends with a separator; nothing is opened before the first write.
  explicit DumpFiles(const std::string& folder);
  // Rewrites the four files with the case's system. On a failure `error`
  // names the file and the reason.
  bool Write(const LegacyCaseResult& r, const CaseSystem& system, std::string& error);

 private:
  std::string folder_;
  OutputFile files_[4];
  DumpTexts texts_;
};

}  // namespace treetri
