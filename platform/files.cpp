#include "platform/files.h"
#include "platform/temporary_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace treetri {

namespace {

std::string Reason() { return std::strerror(errno); }

int LinkFlag(Links links) { return links == Links::Refuse ? O_NOFOLLOW : 0; }

// Why an open failed; a refused link says so instead of "Too many levels of
// symbolic links".
std::string OpenReason(Links links) {
  if (errno == ELOOP && links == Links::Refuse) return "it is a symbolic link, which is not followed";
  return Reason();
}

// Cuts a file back to `size` after a failed write. The write's error is the
// one reported; a cut that fails too has nothing to add to it.
void CutBack(int fd, off_t size) {
  const int result = ::ftruncate(fd, size);
  (void)result;
}

// Writes all of `text` at `offset` (at the end of the file or stream for a
// negative offset), retrying short and interrupted writes.
bool WriteAllAt(int fd, const std::string& text, off_t offset) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = offset < 0 ? ::write(fd, p, left) : ::pwrite(fd, p, left, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
    if (offset >= 0) offset += n;
  }
  return true;
}

}  // namespace

std::string CurrentDirectory() {
  std::vector<char> buf(PATH_MAX + 1);
  if (::getcwd(buf.data(), buf.size()) == nullptr) return std::string();
  return std::string(buf.data());
}

bool ReadWholeFile(const std::string& path, std::string& content, std::string& error) {
  content.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = Reason();
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    error = "it is a folder";
    return false;
  }
  // A file larger than the memory left is a reason like any other; the
  // caller's tables stay as they were.
  try {
    if (S_ISREG(st.st_mode) && st.st_size > 0) content.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0) {
        if (errno == EINTR) continue;
        error = Reason();
        ::close(fd);
        return false;
      }
      if (n == 0) break;
      content.append(buf, static_cast<size_t>(n));
    }
  } catch (const std::bad_alloc&) {
    std::string().swap(content);
    ::close(fd);
    error = "out of memory";
    return false;
  }
  ::close(fd);
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& content, std::string& error) {
  if (path.empty()) {
    error = "no file name";
    return false;
  }
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = Reason();
    return false;
  }
  bool ok = WriteAllAt(fd, content, -1);
  if (!ok) {
    error = Reason();
    CutBack(fd, 0);
  }
  if (::close(fd) != 0 && ok) {
    error = Reason();
    ok = false;
  }
  return ok;
}

CreateResult CreateNewFile(const std::string& path, const std::string& content,
                           std::string& error) {
  // O_EXCL fails on any name that exists, a dangling link included.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EEXIST) return CreateResult::Exists;
    error = Reason();
    return CreateResult::Failed;
  }
  const bool written = WriteAllAt(fd, content, -1);
  if (!written) error = Reason();
  ::close(fd);
  if (!written) {
    RemoveFile(path);
    return CreateResult::Failed;
  }
  return CreateResult::Created;
}

bool OutputFile::Open(const std::string& path, Links links, bool empty, std::string& error) {
  Close();
  path_ = path;
  links_ = links;
  if (!empty) return true;
  if (path.empty()) {
    error = "no file name";
    return false;
  }
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | LinkFlag(links),
               0666);
  if (fd_ < 0) {
    error = OpenReason(links);
    return false;
  }
  size_ = 0;
  return true;
}

bool OutputFile::Ready(bool append, std::string& error) {
  if (fd_ >= 0) return true;
  if (path_.empty()) {
    error = "no file name";
    return false;
  }
  const int mode = append ? O_APPEND : 0;
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | LinkFlag(links_) | mode, 0666);
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
    error = OpenReason(links_);
    Close();
    return false;
  }
  size_ = st.st_size;
  return true;
}

// One write at the end. A failed line is cut back to the length this object
// keeps: the lock on the work folder leaves no other writer.
bool OutputFile::Append(const std::string& text, std::string& error) {
  if (!Ready(true, error)) return false;
  if (!WriteAllAt(fd_, text, -1)) {
    error = Reason();
    // Take the half-written line back so the file stays a run of whole lines.
    CutBack(fd_, size_);
    return false;
  }
  size_ += static_cast<off_t>(text.size());
  return true;
}

bool OutputFile::CutUnfinishedLine(size_t longest, std::string& cut, std::string& error) {
  cut.clear();
  if (!Ready(true, error)) return false;
  if (size_ == 0) return true;
  // The last longest + 1 bytes hold the last line end, or the text after it
  // is longer than any line. (Opened for writing only: read through a
  // descriptor of its own.)
  const int in = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | LinkFlag(links_));
  if (in < 0) {
    error = OpenReason(links_);
    return false;
  }
  std::string tail(static_cast<size_t>(std::min<long long>(size_, static_cast<long long>(longest) + 1)), '\0');
  const off_t start = static_cast<off_t>(size_ - static_cast<long long>(tail.size()));
  for (size_t got = 0; got < tail.size();) {
    const ssize_t n = ::pread(in, &tail[got], tail.size() - got, start + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n == 0 ? "the file is shorter than it was" : Reason();
      ::close(in);
      return false;
    }
    got += static_cast<size_t>(n);
  }
  ::close(in);
  const size_t lineEnd = tail.rfind('\n');
  if (lineEnd == tail.size() - 1) return true;
  if (lineEnd == std::string::npos && tail.size() > longest) {
    if (!WriteAllAt(fd_, "\r\n", -1)) {
      error = Reason();
      CutBack(fd_, size_);
      return false;
    }
    size_ += 2;
    return true;
  }
  const size_t from = lineEnd == std::string::npos ? 0 : lineEnd + 1;
  const long long end = size_ - static_cast<long long>(tail.size() - from);
  if (::ftruncate(fd_, static_cast<off_t>(end)) != 0) {
    error = Reason();
    return false;
  }
  cut = tail.substr(from);
  size_ = end;
  return true;
}

bool OutputFile::TakeBack(long long size) {
  if (fd_ < 0 || size < 0 || size > size_) return false;
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return false;
  size_ = size;
  return true;
}

bool OutputFile::Rewrite(const std::string& text, std::string& error) {
  if (!Ready(false, error)) return false;
  const off_t length = static_cast<off_t>(text.size());
  if (!WriteAllAt(fd_, text, 0) || (length < size_ && ::ftruncate(fd_, length) != 0)) {
    error = Reason();
    CutBack(fd_, 0);
    size_ = 0;
    return false;
  }
  size_ = length;
  return true;
}

void OutputFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool OutputFile::Create(const std::string& path, const std::string& content,
                        std::string& error) {
  if (Open(path, Links::Refuse, true, error) && Append(content, error)) return true;
  Close();
  return false;
}

bool ReplaceFile(const std::string& from, const std::string& to, std::string& error) {
  int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    error = Reason();
    if (fd >= 0) ::close(fd);
    return false;
  }
  ::close(fd);
  // Checked again right before the rename: only a regular file is replaced,
  // never a device, FIFO, socket or folder put there since the run began.
  if (const std::string kind = NonRegularKind(to); !kind.empty()) {
    error = "\"" + to + "\" is " + kind + ", not a regular file; it is not replaced";
    return false;
  }
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    error = Reason();
    return false;
  }
  return true;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace treetri
