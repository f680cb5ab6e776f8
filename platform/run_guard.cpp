#include "platform/run_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <thread>

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

namespace {

// A file lock is a read lock on one byte range of an open folder (or file):
// block B covers the bytes [B << 22, (B + 1) << 22) and a holder locks the
// first 1 + its process number bytes of it (process numbers stay below
// 2^22), so that whoever meets the lock can tell whose it is. Read locks
// never block one another: a run takes its range, then asks whether any
// other open file description holds a lock on the block's first byte.
constexpr int kBlockBits = 22;
constexpr std::uint64_t kBlocks = std::uint64_t{1} << 40;
// The block of a file's own inode, far above the ranges other programs lock
// (SQLite locks bytes near 2^30 of a database).
constexpr std::uint64_t kInodeBlock = kBlocks - 1;

off_t BlockStart(std::uint64_t block) { return static_cast<off_t>(block << kBlockBits); }

// The block of a name in its folder (FNV-1a), never the inode's block.
std::uint64_t NameBlock(const std::string& name) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
  return h % (kBlocks - 1);
}

struct LockedObject {
  int fd = -1;
  std::map<std::uint64_t, int> counts;  // block -> locks of this process on it
};

// The process's file locks: one open file description per locked folder or
// file, shared by every FileLocks of the process (a second description of
// this process would meet the first as another holder). Never destroyed:
// locks kept until exit stay valid during the process's end.
std::mutex& RegistryMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::map<std::string, LockedObject>& Registry() {
  static auto* r = new std::map<std::string, LockedObject>;
  return *r;
}

std::string HolderName(long pid) {
  char buf[64];
  const std::string comm = "/proc/" + std::to_string(pid) + "/comm";
  const int fd = ::open(comm.c_str(), O_RDONLY | O_CLOEXEC);
  const ssize_t n = fd >= 0 ? ::read(fd, buf, sizeof buf) : -1;
  if (fd >= 0) ::close(fd);
  std::string name(buf, n > 0 ? static_cast<size_t>(n) : 0);
  while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
  return (name.empty() ? std::string() : name + ", ") + "process " + std::to_string(pid);
}

bool RangeLock(int fd, short type, off_t start, off_t length) {
  struct flock l {};
  l.l_type = type;
  l.l_whence = SEEK_SET;
  l.l_start = start;
  l.l_len = length;
  return ::fcntl(fd, F_OFD_SETLK, &l) == 0;
}

// Whether another open file description holds a lock on the block's first
// byte; `holder` then names its process where the range tells it.
bool HeldElsewhere(int fd, std::uint64_t block, std::string& holder) {
  struct flock l {};
  l.l_type = F_WRLCK;
  l.l_whence = SEEK_SET;
  l.l_start = BlockStart(block);
  l.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &l) != 0 || l.l_type == F_UNLCK) return false;
  const long pid = static_cast<long>(l.l_len) - 1;
  holder = l.l_start == BlockStart(block) && pid > 0 && pid < (1L << kBlockBits)
               ? HolderName(pid)
               : std::string("another run");
  return true;
}

enum class Take { Locked, Busy, Unlocked };

// Locks `block` of the object open as `fd` (which the registry keeps, or
// closes when it holds that object already). Called with the registry's
// mutex held. Memory running out (std::bad_alloc) leaves the registry and
// the kernel's locks as they were.
Take TakeBlock(const std::string& key, int fd, std::uint64_t block, std::string& holder) {
  auto found = Registry().find(key);
  if (found != Registry().end()) {
    ::close(fd);
    if (auto held = found->second.counts.find(block); held != found->second.counts.end()) {
      ++held->second;
      return Take::Locked;
    }
  } else {
    try {
      found = Registry().emplace(key, LockedObject{fd, {}}).first;
    } catch (...) {
      ::close(fd);
      throw;
    }
  }
  LockedObject& object = found->second;
  // Forgets the block, and the object when nothing else of it is held.
  auto forget = [&] {
    object.counts.erase(block);
    if (!object.counts.empty()) return;
    ::close(object.fd);
    Registry().erase(found);
  };
  try {
    object.counts.emplace(block, 0);
  } catch (...) {
    forget();
    throw;
  }
  const off_t start = BlockStart(block);
  const off_t length = 1 + static_cast<off_t>(::getpid());
  // Two runs that lock the same block at once both see the other and step
  // back; a random pause lets one of them through on the next try.
  static thread_local std::minstd_rand pause(static_cast<unsigned>(::getpid()));
  for (int attempt = 0;; ++attempt) {
    if (!RangeLock(object.fd, F_RDLCK, start, length)) {
      forget();
      return Take::Unlocked;  // a file system without these locks
    }
    bool elsewhere = false;
    try {
      elsewhere = HeldElsewhere(object.fd, block, holder);
    } catch (...) {
      RangeLock(object.fd, F_UNLCK, start, length);
      forget();
      throw;
    }
    if (!elsewhere) break;
    RangeLock(object.fd, F_UNLCK, start, length);
    if (attempt == 4) {
      forget();
      return Take::Busy;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1 + pause() % 20));
  }
  object.counts.find(block)->second = 1;
  return Take::Locked;
}

std::string ObjectKey(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return "";
  return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
         std::to_string(static_cast<unsigned long long>(st.st_ino));
}

}  // namespace

FileLocks::Result FileLocks::Add(const std::string& path, std::string& holder) {
  const std::string resolved = ResolvedName(path);
  const size_t slash = resolved.find_last_of('/');
  if (resolved.empty() || slash == std::string::npos) return Result::Locked;
  const std::string folder = slash == 0 ? "/" : resolved.substr(0, slash);
  const std::string name = resolved.substr(slash + 1);
  std::lock_guard<std::mutex> hold(RegistryMutex());
  // Room for this call's two locks first: a lock taken is always recorded.
  held_.reserve(held_.size() + 2);
  auto take = [&](int fd, std::uint64_t block) {
    if (fd < 0) return true;  // nothing to lock there: the writer meets the fault itself
    std::string key;
    try {
      key = ObjectKey(fd);
    } catch (...) {
      ::close(fd);
      throw;
    }
    if (key.empty()) {
      ::close(fd);
      return true;
    }
    switch (TakeBlock(key, fd, block, holder)) {
      case Take::Locked: held_.emplace_back(key, block); return true;
      case Take::Unlocked: return true;
      case Take::Busy: return false;
    }
    return true;
  };
  // By its name in its folder, whether it exists or not ...
  if (!take(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), NameBlock(name)))
    return Result::Busy;
  // ... and by its inode where it is a plain file now.
  const int file = ::open(resolved.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (file >= 0 && (::fstat(file, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(file);
    return Result::Locked;
  }
  return take(file, kInodeBlock) ? Result::Locked : Result::Busy;
}

void FileLocks::KeepUntilExit() { held_.clear(); }

void FileLocks::Release() {
  std::lock_guard<std::mutex> hold(RegistryMutex());
  for (const auto& [key, block] : held_) {
    auto found = Registry().find(key);
    if (found == Registry().end()) continue;
    LockedObject& object = found->second;
    if (--object.counts[block] > 0) continue;
    object.counts.erase(block);
    RangeLock(object.fd, F_UNLCK, BlockStart(block), off_t{1} << kBlockBits);
    if (object.counts.empty()) {
      ::close(object.fd);
      Registry().erase(found);
    }
  }
  held_.clear();
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
