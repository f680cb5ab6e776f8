#include "platform/file_facts.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <ctime>

#include "platform/files.h"

namespace treetri {

std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1)
    return std::string();
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

FileFacts FactsOfContent(const std::string& path, const std::string& content) {
  FileFacts f;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return f;
  f.known = true;
  f.size = static_cast<long long>(st.st_size);
  f.modifiedSeconds = static_cast<long long>(st.st_mtim.tv_sec);
  f.modifiedNanoseconds = st.st_mtim.tv_nsec;
  f.sha256 = Sha256Hex(content);
  return f;
}

bool ReadFileFacts(const std::string& path, FileFacts& facts, std::string& error) {
  std::string content;
  if (!ReadWholeFile(path, content, error)) return false;
  facts = FactsOfContent(path, content);
  return true;
}

std::string ModifiedTimeText(const FileFacts& facts) {
  const std::time_t seconds = static_cast<std::time_t>(facts.modifiedSeconds);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char date[32], text[48];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text, sizeof text, "%s.%09ldZ", date, facts.modifiedNanoseconds);
  return text;
}

std::string FactsChange(const FileFacts& before, const FileFacts& now) {
  if (!before.known) return std::string();
  if (!now.known) return "it cannot be read any more";
  std::string change;
  auto add = [&](const std::string& what) { change += (change.empty() ? "" : ", ") + what; };
  if (before.size != now.size)
    add("size " + std::to_string(before.size) + " -> " + std::to_string(now.size) + " bytes");
  if (before.modifiedSeconds != now.modifiedSeconds ||
      before.modifiedNanoseconds != now.modifiedNanoseconds)
    add("modification time " + ModifiedTimeText(before) + " -> " + ModifiedTimeText(now));
  if (before.sha256 != now.sha256) add("content (SHA-256)");
  return change;
}

}  // namespace treetri
