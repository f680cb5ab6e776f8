// The four dump files of a case: the design matrix as "row col value"
// entries, the misclosures, the weights and the Matlab size line. Every line
// ends with CR LF; the files hold the system of the last iteration.
#pragma once

#include <string>

#include "positioning/case_work.h"

namespace treetri {

inline constexpr const char* kDumpAFileName = "A_txt.txt";
inline constexpr const char* kDumpLFileName = "l_txt.txt";
inline constexpr const char* kDumpWeightsFileName = "weigths.txt";
inline constexpr const char* kDumpMatlabFileName = "Matlab.txt";

// The four texts of the case's current system.
struct DumpTexts {
  std::string a, l, weights, matlab;
};
DumpTexts DumpFileTexts(const CaseWork& c);

// Rewrites the four files in `folder` (which ends with a separator). On a
// failure `error` names the file and the reason.
bool WriteDumpFiles(const CaseWork& c, const std::string& folder, std::string& error);

}  // namespace treetri
