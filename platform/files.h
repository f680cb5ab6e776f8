// File-system access of the logic: whole-file reads, complete writes and
// appends that either land whole or not at all.
#pragma once

#include <string>

namespace treetri {

// The platform's path separator, appended to the working folder.
inline constexpr char kPathSeparator = '/';

// The process's current directory (without a trailing separator); empty when
// it cannot be found.
std::string CurrentDirectory();

// Reads the whole file into `content`. On failure returns false and puts the
// system's reason into `error`.
bool ReadWholeFile(const std::string& path, std::string& content, std::string& error);

// Creates (or truncates) the file and writes `content`. Returns false, with the
// reason, when the file cannot be created or the text not written completely.
bool WriteWholeFile(const std::string& path, const std::string& content, std::string& error);

// Same result as WriteWholeFile, for a file rewritten again and again: the
// new content is written over the old one and the file then cut to its
// length.
bool RewriteFile(const std::string& path, const std::string& content, std::string& error);

// Appends `content` to the file (created when missing). A write that fails part
// way is taken back, so the file ends after its last complete append.
bool AppendToFile(const std::string& path, const std::string& content, std::string& error);

// Puts the complete file `from` in the place of `to` (replacing a file of
// that name): flushes `from` to disk, then renames it. False, with the
// reason, when either step fails; `from` is then left as it was.
bool ReplaceFile(const std::string& from, const std::string& to, std::string& error);

// A file kept open for a run of appends, such as a per-case file of a
// run: created (or emptied) with its first content, then appended to. Each
// append lands whole or is taken back, so the file is a run of complete
// appends on disk after each one.
class AppendingFile {
 public:
  AppendingFile() = default;
  ~AppendingFile() { Close(); }
  AppendingFile(const AppendingFile&) = delete;
  AppendingFile& operator=(const AppendingFile&) = delete;

  // Creates or empties the file and writes `content`; false, with the
  // reason, when that fails (the file is then closed).
  bool Create(const std::string& path, const std::string& content, std::string& error);
  bool Append(const std::string& content, std::string& error);
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

 private:
  int fd_ = -1;
};

// Deletes the file; false when it could not be deleted.
bool RemoveFile(const std::string& path);

bool FileExists(const std::string& path);

}  // namespace treetri
