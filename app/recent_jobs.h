// The recent jobs of the desktop program: work folders opened before, with
// the map and sighting files last read in each and the quality method
// chosen, newest first. Kept in the
// user's settings file (or a file given, for tests).
#pragma once

#include <string>
#include <vector>

#include <QString>

namespace treetri {

struct RecentJob {
  std::string folder, map, sightings;
  std::string quality = "case";  // the quality method: "case" or "network"
};

class RecentJobs {
 public:
  static constexpr int kMaxJobs = 8;

  // The user's settings when path is empty.
  explicit RecentJobs(const QString& path = QString());

  std::vector<RecentJob> Jobs() const { return jobs_; }
  // The entry of a folder, or an entry with only the folder.
  RecentJob Find(const std::string& folder) const;
  // Puts the job first (replacing the folder's earlier entry) and saves.
  void Remember(const RecentJob& job);

 private:
  void Save() const;
  QString path_;
  std::vector<RecentJob> jobs_;
};

}  // namespace treetri
