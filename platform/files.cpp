#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

namespace {

// Opens with the given flags, writes the content from the start and cuts the
// file to its length; a failed write leaves the file empty rather than
// half written.
bool WriteFrom(const std::string& path, int flags, Links links, const std::string& content,
               std::string& error) {
  if (path.empty()) {
    error = "no file name";
    return false;
  }
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags | LinkFlag(links), 0666);
  if (fd < 0) {
    error = OpenReason(links);
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
  return WriteFrom(path, O_TRUNC, Links::Follow, content, error);
}

// Writing over the old content and then cutting the file to its new length
// keeps the file's blocks: far cheaper than truncating first on file systems
// that discard freed blocks.
bool RewriteFile(const std::string& path, const std::string& content, std::string& error,
                 Links links) {
  return WriteFrom(path, 0, links, content, error);
}

bool AppendToFile(const std::string& path, const std::string& content, std::string& error,
                  Links links) {
  if (path.empty()) {
    error = "no file name";
    return false;
  }
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | LinkFlag(links), 0666);
  if (fd < 0) {
    error = OpenReason(links);
    return false;
  }
  off_t before = ::lseek(fd, 0, SEEK_END);
  bool ok = WriteAll(fd, content);
  if (!ok) {
    error = Reason();
    // Take the half-written line back so the file stays a run of whole lines.
    if (before >= 0) CutBack(fd, before);
  }
  if (::close(fd) != 0 && ok) {
    error = Reason();
    ok = false;
  }
  return ok;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace treetri
