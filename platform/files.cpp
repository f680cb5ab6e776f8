#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

namespace treetri {

namespace {

std::string Reason() { return std::strerror(errno); }

// Cuts a file back to `size` after a failed write. The write's error is the
// one reported; a cut that fails too has nothing to add to it.
void CutBack(int fd, off_t size) {
  const int result = ::ftruncate(fd, size);
  (void)result;
}

// Writes all of `content`, retrying short writes and interrupted calls.
bool WriteAll(int fd, const std::string& content) {
  const char* p = content.data();
  size_t left = content.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
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
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    error = "it is a folder";
    return false;
  }
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
  ::close(fd);
  return true;
}

namespace {

// Opens with the given flags, writes the content from the start and cuts the
// file to its length; a failed write leaves the file empty rather than
// half written.
bool WriteFrom(const std::string& path, int flags, const std::string& content,
               std::string& error) {
  if (path.empty()) {
    error = "no file name";
    return false;
  }
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
  if (fd < 0) {
    error = Reason();
    return false;
  }
  bool ok = WriteAll(fd, content) && ::ftruncate(fd, static_cast<off_t>(content.size())) == 0;
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

}  // namespace

bool WriteWholeFile(const std::string& path, const std::string& content, std::string& error) {
  return WriteFrom(path, O_TRUNC, content, error);
}

// Writing over the old content and then cutting the file to its new length
// keeps the file's blocks: far cheaper than truncating first on file systems
// that discard freed blocks.
bool RewriteFile(const std::string& path, const std::string& content, std::string& error) {
  return WriteFrom(path, 0, content, error);
}

namespace {

// Appends to an open file; a write that fails part way is taken back so the
// file stays a run of whole appends.
bool AppendTo(int fd, const std::string& content, std::string& error) {
  const off_t before = ::lseek(fd, 0, SEEK_END);
  if (WriteAll(fd, content)) return true;
  error = Reason();
  if (before >= 0) CutBack(fd, before);
  return false;
}

int OpenForAppend(const std::string& path, int flags, std::string& error) {
  if (path.empty()) {
    error = "no file name";
    return -1;
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | flags, 0666);
  if (fd < 0) error = Reason();
  return fd;
}

}  // namespace

bool AppendToFile(const std::string& path, const std::string& content, std::string& error) {
  const int fd = OpenForAppend(path, 0, error);
  if (fd < 0) return false;
  bool ok = AppendTo(fd, content, error);
  if (::close(fd) != 0 && ok) {
    error = Reason();
    ok = false;
  }
  return ok;
}

bool ReplaceFile(const std::string& from, const std::string& to, std::string& error) {
  int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    error = Reason();
    if (fd >= 0) ::close(fd);
    return false;
  }
  ::close(fd);
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    error = Reason();
    return false;
  }
  return true;
}

bool AppendingFile::Create(const std::string& path, const std::string& content,
                           std::string& error) {
  Close();
  fd_ = OpenForAppend(path, O_TRUNC, error);
  if (fd_ < 0) return false;
  if (AppendTo(fd_, content, error)) return true;
  Close();
  return false;
}

bool AppendingFile::Append(const std::string& content, std::string& error) {
  if (fd_ < 0) {
    error = "the file is not open";
    return false;
  }
  return AppendTo(fd_, content, error);
}

void AppendingFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace treetri
