// What keeps a run from destroying data: the identity of two file names, the
// lock that allows one run per work folder, and write faults reported as
// errors instead of ending the process.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace treetri {

// Files that the program keeps in the work folder besides its outputs.
inline constexpr const char* kProbeFileName = "PILKKUTESTI.TXT";
inline constexpr const char* kLockFileName = "treetri.lock";

// The absolute name of a file: links resolved where the file exists,
// otherwise its folder's links resolved and the last part kept.
std::string ResolvedName(const std::string& path);

// Whether two names denote one file: the same resolved name, or existing
// files on the same device with the same inode (hard links).
bool SameFile(const std::string& a, const std::string& b);

// Whether the name itself is a symbolic link (not followed).
bool IsSymbolicLink(const std::string& path);

// An advisory lock on a work folder (on the folder itself and on its lock
// file), held from Acquire until Release or the end of the object; deleting
// the lock file during a run lets no second run in. The lock file holds the process
// number and program name of the holder, so that a refused run can name it.
class FolderLock {
 public:
  enum class Result { Locked, Busy, Failed };
  FolderLock() = default;
  ~FolderLock() { Release(); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // `folder` ends with the separator. Busy: `detail` describes the run that
  // holds the lock; Failed: the reason the lock file cannot be used. A
  // folder that cannot be written and holds no lock file counts as locked.
  Result Acquire(const std::string& folder, std::string& detail);
  void Release();

 private:
  Result AcquireFile(const std::string& path, std::string& detail);
  int fd_ = -1;        // the lock file
  int folderFd_ = -1;  // the folder, locked too: deleting the lock file lets no second run in
};

// Locks on the files a run writes, one per file: a second run, in this
// folder or another, that would write one of them is refused while the
// first holds it. A file is locked by its name in its folder (a byte range,
// chosen by the name, of an open-file-description lock on the folder
// itself) and, where it exists, by its own inode (so that a hard link under
// another name is the same file). No lock file is involved: deleting any file
// lets no second run in, a file replaced by a rename stays locked by its
// name, and the locks end with the process. The range's length carries the
// holder's process number, so that a refused run can name it. Locks taken
// again by the same process are counted, not refused.
class FileLocks {
 public:
  enum class Result { Locked, Busy };
  FileLocks() = default;
  ~FileLocks() { Release(); }
  FileLocks(const FileLocks&) = delete;
  FileLocks& operator=(const FileLocks&) = delete;

  // Locks `path` (a name that may not exist yet; links resolved) for this
  // object. Busy: another process holds it, `holder` names that process
  // ("treetri-batch, process 1234", or "another run"). A file system without
  // such locks leaves the file unlocked (Locked).
  Result Add(const std::string& path, std::string& holder);
  // Hands the locks held now to the process: they end with it. For files a
  // program writes after its run (a GeoPackage, a re-measure list).
  void KeepUntilExit();
  void Release();

 private:
  std::vector<std::pair<std::string, std::uint64_t>> held_;  // registry key, byte block
};

// A write past a file-size limit, or to a pipe whose reader is gone, fails
// with an error that the program reports (EFBIG, EPIPE) instead of ending
// the process.
void TreatWriteSignalsAsErrors();

// Opens "/dev/null" in place of standard input, output or error when one
// was closed at the start, so that no file the program opens later gets
// descriptor 0, 1 or 2 (the list would then be written into it). Call first
// thing in main; false when /dev/null cannot be opened.
bool OpenStandardDescriptors();

}  // namespace treetri
