#include "stored/TransformationDatabase.h"

#include "io/Checksum.h"
#include "io/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cmath>
#include <system_error>

#include "io/Archive.h"
#include "io/FileReplace.h"
#include "app/JobHost.h"
#include "app/StringIds.h"
#include "app/SettingsStore.h"
#include "text/LineScanner.h"

namespace pelmar {

namespace {

constexpr const char* kVersion = "2.0";
// Name, description (one length byte each), type, 13 doubles, two
// ellipsoids (one length byte and two doubles each), pre-translation.
constexpr std::size_t kMinimumSetSize = 2 + 4 + 13 * 8 + 2 * (1 + 16) + 3 * 8;
constexpr std::size_t kMinimumPointSize = 1 + 9 * 8;

void writeEllipsoid(ArchiveWriter& w, const EllipsoidRecord& e) {
  w.writeString(e.name);
  w.writeDouble(e.a);
  w.writeDouble(e.b);
}

bool readEllipsoid(ArchiveReader& r, EllipsoidRecord& e) {
  return r.readString(e.name) && r.readDouble(e.a) && r.readDouble(e.b) && std::isfinite(e.a) && std::isfinite(e.b);
}

bool readSet(ArchiveReader& r, bool withPoints, TransformationSet& set) {
  std::int32_t type = 0;
  if (!r.readString(set.name) || !r.readString(set.description) || !r.readInt32(type)) return false;
  set.type = type;
  double* doubles[13] = {&set.rotation[0],   &set.rotation[1],   &set.rotation[2],    &set.scale,
                         &set.translation[0], &set.translation[1], &set.translation[2], &set.auxiliary[0],
                         &set.auxiliary[1],   &set.auxiliary[2],   &set.auxiliary[3],   &set.auxiliary[4],
                         &set.auxiliary[5]};
  for (double* value : doubles) {
    if (!r.readDouble(*value) || !std::isfinite(*value)) return false;
  }
  if (!readEllipsoid(r, set.sourceEllipsoid) || !readEllipsoid(r, set.targetEllipsoid)) return false;
  for (double& value : set.preTranslation) {
    if (!r.readDouble(value) || !std::isfinite(value)) return false;
  }
  if (!withPoints) return true;
  std::int32_t count = 0;
  if (!r.readCount(count, kMinimumPointSize)) return false;
  set.points.resize(static_cast<std::size_t>(count));
  for (TransformationSetPoint& point : set.points) {
    if (!r.readString(point.name)) return false;
    for (auto* triple : {&point.source, &point.target, &point.residuals}) {
      for (double& value : *triple) {
        if (!r.readDouble(value) || !std::isfinite(value)) return false;
      }
    }
  }
  return true;
}

}  // namespace

std::string TransformationDatabase::Encode(const SetList& sets) {
  ArchiveWriter w;
  w.writeString(kVersion);
  w.writeInt32(static_cast<std::int32_t>(sets.size()));
  for (const TransformationSet& set : sets) {
    w.writeString(set.name);
    w.writeString(set.description);
    w.writeInt32(set.type);
    for (double value : set.rotation) w.writeDouble(value);
    w.writeDouble(set.scale);
    for (double value : set.translation) w.writeDouble(value);
    for (double value : set.auxiliary) w.writeDouble(value);
    writeEllipsoid(w, set.sourceEllipsoid);
    writeEllipsoid(w, set.targetEllipsoid);
    for (double value : set.preTranslation) w.writeDouble(value);
    w.writeInt32(static_cast<std::int32_t>(set.points.size()));
    for (const TransformationSetPoint& point : set.points) {
      w.writeString(point.name);
      for (const auto* triple : {&point.source, &point.target, &point.residuals}) {
        for (double value : *triple) w.writeDouble(value);
      }
    }
  }
  return w.data();
}

bool TransformationDatabase::Decode(const std::string& data, SetList& sets, std::string& problem) {
  sets.clear();
  ArchiveReader r(data);
  std::string versionText;
  if (!r.readString(versionText)) {
    problem = "no version";
    return false;
  }
  // The version is read as the leading number of its text ("2.0" → 2).
  const bool withPoints = settingsDoubleValue(versionText) > 1.0;
  std::int32_t count = 0;
  if (!r.readCount(count, kMinimumSetSize)) {
    problem = "the count of sets is damaged";
    return false;
  }
  for (std::int32_t i = 0; i < count; ++i) {
    TransformationSet set;
    if (!readSet(r, withPoints, set)) {
      problem = "set " + std::to_string(i + 1) + " is damaged";
      return false;
    }
    sets.push_back(std::move(set));
  }
  if (!r.atEnd()) {
    problem = "unexpected data after the last set";
    return false;
  }
  return true;
}

std::filesystem::path TransformationDatabase::backupPath() const {
  // A name no earlier backup has: an older damaged file stays as it was kept.
  std::error_code error;
  std::filesystem::path candidate = path_.string() + ".damaged";
  for (int n = 1; std::filesystem::exists(candidate, error); ++n) {
    candidate = path_.string() + ".damaged." + std::to_string(n);
  }
  return candidate;
}

bool TransformationDatabase::read(JobHost* host) {
  damaged_ = false;
  std::string content;
  unreadable_ = false;
  std::error_code error;
  const bool regular = std::filesystem::is_regular_file(path_, error);
  if (!regular || !readFileContent(path_, content)) {
    sets_.clear();
    content_.clear();
    if (!std::filesystem::exists(path_, error)) return true;
    // There, but not for us: nothing may be written over it.
    unreadable_ = true;
    if (host != nullptr) host->message(str::TransformationFileUnreadable, {path_.string()});
    return false;
  }
  content_ = content;
  std::string problem;
  SetList sets;
  bool intact = Decode(content, sets, problem);
  sets_ = std::move(sets);
  // A flipped bit decodes as well as the right one: the checksum beside the
  // file tells them apart.
  if (intact && VerifyChecksum(path_, content) == ChecksumState::Differs) {
    intact = false;
    problem = "its bytes do not match their checksum in " + ChecksumPath(path_).filename().string();
  }
  if (intact) return true;
  damaged_ = true;
  backup_ = backupPath();
  if (host != nullptr) {
    host->message(str::TransformationFileDamaged,
                  {path_.string(), problem, static_cast<long long>(sets_.size()), backup_.string()});
  }
  return false;
}

bool TransformationDatabase::Load(JobHost* host) { return read(host); }

bool TransformationDatabase::Update(const std::function<bool(SetList&)>& change, JobHost& host) {
  FileLock lock(path_);
  // The file is small: compare its bytes with what this object last read or
  // wrote, so that no rewrite by another program goes unnoticed.
  std::string now;
  std::error_code error;
  const bool readable = std::filesystem::is_regular_file(path_, error) && readFileContent(path_, now);
  if (!readable && std::filesystem::exists(path_, error)) {
    host.message(str::TransformationFileUnreadable, {path_.string()});
    return false;
  }
  if (!readable ? !content_.empty() : now != content_) read(&host);
  SetList changed = sets_;
  if (!change(changed)) return false;
  if (unreadable_) {
    host.message(str::TransformationFileUnreadable, {path_.string()});
    return false;
  }
  if (damaged_) {
    // Keep the damaged file's bytes before they are replaced.
    std::string content;
    if (readFileContent(path_, content) && !replaceFileContent(backup_, content)) {
      host.message(str::TransformationFileNotWritten, {backup_.string()});
      return false;
    }
    damaged_ = false;
  }
  std::string encoded = Encode(changed);
  // A sidecar that cannot be written stops the save before the file changes.
  if (!WritePendingChecksum(path_, encoded) || !replaceFileContent(path_, encoded)) {
    host.message(str::TransformationFileNotWritten, {path_.string()});
    return false;
  }
  WriteChecksum(path_, encoded);  // the pending pair proves the file too
  sets_ = std::move(changed);
  content_ = std::move(encoded);
  return true;
}

bool NameTaken(const std::vector<TransformationSet>& sets, std::string_view name, int except) {
  const std::string_view wanted = trimBlanks(name);
  for (std::size_t i = 0; i < sets.size(); ++i) {
    if (static_cast<int>(i) != except && trimBlanks(sets[i].name) == wanted) return true;
  }
  return false;
}

int TransformationDatabase::Find(std::string_view name) const {
  for (std::size_t i = 0; i < sets_.size(); ++i) {
    if (sets_[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace pelmar
