// Temporary files of the exports: a short, hidden name in the target's
// folder (so the final rename stays within one file system and a long
// target name cannot make the temporary name too long), and the removal of
// those a killed process left behind. Also the kind of an existing file, so
// that only regular files are ever replaced.
#pragma once

#include <string>

namespace treetri {

// ".treetri-PID-N" + extension in the folder of `target`; N counts within
// this process, and a name in use is passed over.
std::string TemporaryNameBeside(const std::string& target, const std::string& extension);

// Removes the temporary files (and their companions such as "-journal")
// that processes no longer running left in the folder of `target`. Returns
// how many were removed.
int RemoveDeadTemporaries(const std::string& target);

// What an existing `path` is when it is not a regular file (links
// followed): "a folder", "a device", "a FIFO", "a socket"; empty when it is
// a regular file or does not exist.
std::string NonRegularKind(const std::string& path);

}  // namespace treetri
