#include "quality/case_input.h"

namespace treetri::quality {

std::string LegacyStatusText(const std::string& listStatus) {
  const size_t first = listStatus.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return listStatus.substr(first, listStatus.find_last_not_of(' ') - first + 1);
}

}  // namespace treetri::quality
