// File-system access of the logic: whole-file reads, complete writes, and
// output files kept open for a run whose appends land whole or not at all.
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

// Creates the file with `content` only when no file of that name exists
// (also no link): a file found there is never touched. A write that fails
// removes the file again.
enum class CreateResult { Created, Exists, Failed };
CreateResult CreateNewFile(const std::string& path, const std::string& content,
                           std::string& error);

// Whether a symbolic link at the name is followed (a name the user chose) or
// refused (the program's own files in the work folder).
enum class Links { Follow, Refuse };

// Puts the complete file `from` in the place of `to` (replacing a file of
// that name): flushes `from` to disk, then renames it. False, with the
// reason, when either step fails or `to` exists and is not a regular file
// (checked right before the rename); `from` is then left as it was.
bool ReplaceFile(const std::string& from, const std::string& to, std::string& error);

// An output file kept open for a whole run, so that a case costs one system
// call per file: an appended line is one write, a rewrite one positional
// write, cut only when the content shrinks. The file is opened at its first
// write, so a name that cannot be opened fails where a write would.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Close(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Names the file. With `empty`, it is created empty (or emptied) at once,
  // for appending; false, with the reason, when that fails.
  bool Open(const std::string& path, Links links, bool empty, std::string& error);
  // Appends `text` whole or, after a write that fails part-way, not at all,
  // so the file ends after its last complete append.
  bool Append(const std::string& text, std::string& error);
  // The length the file has after this object's last complete write, and
  // cutting the file back to such a length (to take back what was appended
  // after it); false when the cut fails.
  long long Size() const { return size_; }
  bool TakeBack(long long size);
  // Cuts off what follows the file's last line end: the line a run that was
  // killed part-way left unfinished (the system may stop a write between
  // two pages of it). `cut` receives that text, empty when the file is empty
  // or ends with a line end. Text longer than `longest` bytes is no line of
  // a run: it stays, ended with CR LF (`cut` empty). False, with the reason,
  // when the file cannot be opened, read, cut or ended.
  bool CutUnfinishedLine(size_t longest, std::string& cut, std::string& error);
  // Makes `text` the whole content; a failed write leaves the file empty
  // rather than half written.
  bool Rewrite(const std::string& text, std::string& error);
  // Creates or empties a file of the work folder (no link followed) and
  // writes `content`; false, with the reason, when that fails (the file is
  // then closed).
  bool Create(const std::string& path, const std::string& content, std::string& error);
  void Close();

 private:
  // Opens the named file when it is not open yet: for appending (every
  // write at the end) or for positional writes.
  bool Ready(bool append, std::string& error);

  std::string path_;
  Links links_ = Links::Follow;
  int fd_ = -1;
  long long size_ = 0;  // the file's length as this object left it
};

// Deletes the file; false when it could not be deleted.
bool RemoveFile(const std::string& path);

bool FileExists(const std::string& path);

}  // namespace treetri
