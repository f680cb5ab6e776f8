#include "platform/run_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace treetri {

namespace {

std::string RealPath(const std::string& path) {
  char buf[PATH_MAX];
  return ::realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

std::string ProgramName() {
#ifdef __GLIBC__
  return program_invocation_short_name;
#else
  return "treetri";
#endif
}

}  // namespace

std::string ResolvedName(const std::string& path) {
  std::string name = path;
  // A link to a file that does not exist yet leads to the name that writing
  // through it would create.
  for (int depth = 0; depth < 16; ++depth) {
    if (name.empty()) return name;
    const std::string whole = RealPath(name);
    if (!whole.empty()) return whole;
    const size_t slash = name.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
    const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    const std::string resolved = RealPath(folder);
    if (resolved.empty()) return name;
    char target[PATH_MAX];
    const ssize_t n = ::readlink(name.c_str(), target, sizeof target - 1);
    if (n <= 0) return resolved + (resolved == "/" ? "" : "/") + last;
    name.assign(target, static_cast<size_t>(n));
    if (name[0] != '/') name = resolved + "/" + name;
  }
  return name;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  return ResolvedName(a) == ResolvedName(b);
}

bool IsSymbolicLink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

FolderLock::Result FolderLock::Acquire(const std::string& folder, std::string& detail) {
  Release();
  const std::string path = folder + kLockFileName;
  // The lock itself is on the folder, which a user tidying a "stale" lock
  // file cannot delete during a run; the lock file names the holder.
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0 && ::flock(dir, LOCK_EX | LOCK_NB) != 0) {
    const int reason = errno;
    ::close(dir);
    if (reason != EWOULDBLOCK) {
      detail = "\"" + folder + "\": " + std::strerror(reason);
      return Result::Failed;
    }
    char buf[128];
    const int note = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const ssize_t n = note >= 0 ? ::pread(note, buf, sizeof buf - 1, 0) : -1;
    if (note >= 0) ::close(note);
    std::string holder(buf, n > 0 ? static_cast<size_t>(n) : 0);
    while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\r')) holder.pop_back();
    detail = holder.empty() ? std::string("another run") : holder;
    return Result::Busy;
  }
  folderFd_ = dir;
  const Result r = AcquireFile(path, detail);
  if (r != Result::Locked) {
    if (folderFd_ >= 0) ::close(folderFd_);
    folderFd_ = -1;
  }
  return r;
}

FolderLock::Result FolderLock::AcquireFile(const std::string& path, std::string& detail) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  // In a folder that cannot be written the lock is taken on a lock file left
  // from before; without one no run can write the folder's files, and this
  // run meets that fault at its first file.
  if (fd < 0 && (errno == EROFS || errno == EACCES)) {
    fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) return Result::Locked;
  }
  if (fd < 0) {
    detail = "\"" + path + "\": " +
             (errno == ELOOP ? std::string("it is a symbolic link") : std::strerror(errno));
    return Result::Failed;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int reason = errno;
    char buf[128];
    const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
    ::close(fd);
    if (reason != EWOULDBLOCK) {
      detail = "\"" + path + "\": " + std::strerror(reason);
      return Result::Failed;
    }
    std::string holder(buf, n > 0 ? static_cast<size_t>(n) : 0);
    while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\r')) holder.pop_back();
    detail = holder.empty() ? std::string("another run") : holder;
    return Result::Busy;
  }
  fd_ = fd;
  const std::string holder =
      ProgramName() + ", process " + std::to_string(static_cast<long>(::getpid())) + "\n";
  // The note only names the holder; the lock works without it.
  const bool noted = ::ftruncate(fd, 0) == 0 && ::pwrite(fd, holder.data(), holder.size(), 0) > 0;
  static_cast<void>(noted);
  return Result::Locked;
}

void FolderLock::Release() {
  if (folderFd_ >= 0) ::close(folderFd_);
  folderFd_ = -1;
  if (fd_ < 0) return;
  // The lock file stays: removing it would let a run that opened it before
  // the removal and one that creates it afresh both hold "the" lock.
  ::close(fd_);
  fd_ = -1;
}

void TreatWriteSignalsAsErrors() {
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
}

bool OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is the closed one.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened < 0) return false;
    if (opened != fd) {
      const bool moved = ::dup2(opened, fd) == fd;
      ::close(opened);
      if (!moved) return false;
    }
  }
  return true;
}

}  // namespace treetri
