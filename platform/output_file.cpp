#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace treetri {

namespace {

std::string OpenReason(Links links) {
  if (errno == ELOOP && links == Links::Refuse) return "it is a symbolic link, which is not followed";
  return std::strerror(errno);
}

// Writes all of `text` at `offset` (at the end for a negative offset),
// retrying short and interrupted writes.
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

// The error of the write is the one reported; a cut that fails as well has
// nothing to add to it.
void CutBack(int fd, off_t size) {
  const int result = ::ftruncate(fd, size);
  static_cast<void>(result);
}

}  // namespace

bool OutputFile::Open(const std::string& path, Links links, bool empty, std::string& error) {
  Close();
  path_ = path;
  links_ = links;
  if (!empty) return true;
  if (path.empty()) {
    error = "no file name";
    return false;
  }
  const int noFollow = links == Links::Refuse ? O_NOFOLLOW : 0;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | noFollow, 0666);
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
  const int noFollow = links_ == Links::Refuse ? O_NOFOLLOW : 0;
  const int mode = append ? O_APPEND : 0;
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | noFollow | mode, 0666);
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
    error = std::strerror(errno);
    // Take the half-written line back so the file stays a run of whole lines.
    CutBack(fd_, size_);
    return false;
  }
  size_ += static_cast<off_t>(text.size());
  return true;
}

bool OutputFile::Rewrite(const std::string& text, std::string& error) {
  if (!Ready(false, error)) return false;
  const off_t length = static_cast<off_t>(text.size());
  if (!WriteAllAt(fd_, text, 0) || (length < size_ && ::ftruncate(fd_, length) != 0)) {
    error = std::strerror(errno);
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

}  // namespace treetri
