#include "platform/temporary_files.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace treetri {
namespace {

constexpr const char* kPrefix = ".treetri-";

std::string FolderOf(const std::string& target) {
  const size_t slash = target.find_last_of('/');
  return slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
}

// The process number of a temporary file's name, or 0 when the name is not
// one of ours.
long OwnerOf(const std::string& name) {
  const std::string prefix = kPrefix;
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  size_t i = prefix.size(), digits = 0;
  long pid = 0;
  while (i < name.size() && name[i] >= '0' && name[i] <= '9' && digits < 10) {
    pid = pid * 10 + (name[i++] - '0');
    ++digits;
  }
  if (digits == 0 || i >= name.size() || name[i] != '-') return 0;
  return pid;
}

}  // namespace

std::string TemporaryNameBeside(const std::string& target, const std::string& extension) {
  static std::atomic<int> counter{0};
  const std::string base = FolderOf(target) + kPrefix + std::to_string(::getpid()) + "-";
  struct stat st;
  std::string name;
  do {
    name = base + std::to_string(++counter) + extension;
  } while (::lstat(name.c_str(), &st) == 0);
  return name;
}

int RemoveDeadTemporaries(const std::string& target) {
  const std::string folder = FolderOf(target);
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return 0;
  int removed = 0;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    const long pid = OwnerOf(name);
    if (pid <= 0 || pid == static_cast<long>(::getpid())) continue;
    // Gone: no such process. A process of another user (EPERM) is alive.
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    struct stat st;
    const std::string path = folder + name;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0)
      ++removed;
  }
  ::closedir(dir);
  return removed;
}

std::string NonRegularKind(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return "";
  if (S_ISDIR(st.st_mode)) return "a folder";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
  if (S_ISFIFO(st.st_mode)) return "a FIFO";
  if (S_ISSOCK(st.st_mode)) return "a socket";
  return "not a regular file";
}

}  // namespace treetri
