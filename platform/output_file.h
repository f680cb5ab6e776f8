// Output files kept open for a whole run, so that a case costs one system
// call per line: an appended file takes each line with one write, a
// rewritten file takes its new content with one positional write and is cut
// only when the content shrinks. Each file is opened at its first write, so
// a name that cannot be opened fails where a write would.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/files.h"

namespace treetri {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Close(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Names the file. With `empty`, it is created empty at once (or emptied);
  // false, with the reason, when that fails.
  bool Open(const std::string& path, Links links, bool empty, std::string& error);
  // Appends `text` whole or, after a write that fails part-way, not at all.
  bool Append(const std::string& text, std::string& error);
  // Makes `text` the whole content; a failed write leaves the file empty.
  bool Rewrite(const std::string& text, std::string& error);
  void Close();

 private:
  // Opens the file named by Open when it is not open yet: for appending
  // (every write at the end) or for positional writes.
  bool Ready(bool append, std::string& error);

  std::string path_;
  Links links_ = Links::Follow;
  int fd_ = -1;
  off_t size_ = 0;  // the file's length as this object left it
};

}  // namespace treetri
