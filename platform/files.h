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

// Whether a symbolic link at the name is followed (a name the user chose) or
// refused (the program's own files in the work folder).
enum class Links { Follow, Refuse };

// Same result as WriteWholeFile, for a file rewritten again and again: the
// new content is written over the old one and the file then cut to its
// length.
bool RewriteFile(const std::string& path, const std::string& content, std::string& error,
                 Links links = Links::Follow);

// Appends `content` to the file (created when missing). A write that fails part
// way is taken back, so the file ends after its last complete append.
bool AppendToFile(const std::string& path, const std::string& content, std::string& error,
                  Links links = Links::Follow);

// Deletes the file; false when it could not be deleted.
bool RemoveFile(const std::string& path);

bool FileExists(const std::string& path);

}  // namespace treetri
