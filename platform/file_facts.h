// What identifies the content of an input file as a run read it: its size,
// its modification time and the SHA-256 of its bytes (OpenSSL's libcrypto),
// so that a run record names exactly what it read and a later run can tell
// that a file changed since it was read.
#pragma once

#include <string>

namespace treetri {

struct FileFacts {
  bool known = false;  // false: the file was not read (or could not be stat'ed)
  long long size = 0;  // bytes
  long long modifiedSeconds = 0;  // modification time, seconds since 1970 UTC
  long modifiedNanoseconds = 0;
  std::string sha256;  // 64 lower-case hexadecimal digits
};

// The SHA-256 of `bytes` in lower-case hexadecimal.
std::string Sha256Hex(const std::string& bytes);

// The facts of the file `path` whose bytes are `content` (as just read):
// size and time from the file system, the checksum of `content`. known is
// false when the file cannot be stat'ed.
FileFacts FactsOfContent(const std::string& path, const std::string& content);

// Reads the file and gives its facts; false, with the reason, when it cannot
// be read.
bool ReadFileFacts(const std::string& path, FileFacts& facts, std::string& error);

// The modification time as ISO 8601 in UTC, to the nanosecond
// ("2026-12-07T03:40:12.123456789Z").
std::string ModifiedTimeText(const FileFacts& facts);

// What differs between the facts read before and now, for a message
// ("size 120 -> 130 bytes", "modification time", "content"); empty when
// nothing does.
std::string FactsChange(const FileFacts& before, const FileFacts& now);

}  // namespace treetri
