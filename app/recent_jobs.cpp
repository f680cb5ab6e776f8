#include "app/recent_jobs.h"

#include <memory>

#include <QSettings>

namespace treetri {

namespace {

std::unique_ptr<QSettings> Open(const QString& path) {
  if (path.isEmpty()) return std::make_unique<QSettings>("treetri", "treetri");
  return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

}  // namespace

RecentJobs::RecentJobs(const QString& path) : path_(path) {
  auto s = Open(path_);
  const int n = s->beginReadArray("recentJobs");
  for (int i = 0; i < n && i < kMaxJobs; ++i) {
    s->setArrayIndex(i);
    RecentJob job{s->value("folder").toString().toStdString(),
                  s->value("map").toString().toStdString(),
                  s->value("sightings").toString().toStdString(),
                  s->value("quality", "case").toString().toStdString()};
    if (!job.folder.empty()) jobs_.push_back(job);
  }
  s->endArray();
}

RecentJob RecentJobs::Find(const std::string& folder) const {
  for (const RecentJob& j : jobs_)
    if (j.folder == folder) return j;
  return {folder, "", "", "case"};
}

void RecentJobs::Remember(const RecentJob& job) {
  std::vector<RecentJob> jobs{job};
  for (const RecentJob& j : jobs_)
    if (j.folder != job.folder && static_cast<int>(jobs.size()) < kMaxJobs) jobs.push_back(j);
  jobs_ = jobs;
  Save();
}

void RecentJobs::Save() const {
  auto s = Open(path_);
  s->beginWriteArray("recentJobs", static_cast<int>(jobs_.size()));
  for (int i = 0; i < static_cast<int>(jobs_.size()); ++i) {
    s->setArrayIndex(i);
    s->setValue("folder", QString::fromStdString(jobs_[i].folder));
    s->setValue("map", QString::fromStdString(jobs_[i].map));
    s->setValue("sightings", QString::fromStdString(jobs_[i].sightings));
    s->setValue("quality", QString::fromStdString(jobs_[i].quality));
  }
  s->endArray();
  s->sync();
}

}  // namespace treetri
