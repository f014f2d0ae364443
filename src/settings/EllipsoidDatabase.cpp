#include "settings/EllipsoidDatabase.h"

#include "io/Archive.h"
#include "io/Checksum.h"
#include "settings/EllipsoidParameters.h"
#include "text/MessageFormat.h"
#include "text/NumberFormat.h"
#include "text/TextEncoding.h"
#include "io/FileReplace.h"

namespace pelmar {

namespace {
// Length byte of an empty name plus a and b.
constexpr std::size_t kMinimumRecordSize = 1 + 2 * sizeof(double);
}  // namespace

bool ReadEllipsoidDatabase(const std::filesystem::path& path, EllipsoidList& list, std::string* problem) {
  auto fail = [&](const std::string& why) {
    if (problem != nullptr) *problem = path.string() + ": " + why;
    return false;
  };
  std::string content;
  if (!readFileContent(path, content)) return fail("cannot be opened");
  if (VerifyChecksum(path, content) == ChecksumState::Differs) {
    return fail("its bytes do not match their checksum in " + ChecksumPath(path).filename().string());
  }
  ArchiveReader reader(std::move(content));
  std::int32_t count = 0;
  if (!reader.readCount(count, kMinimumRecordSize)) return fail("the count of ellipsoids is damaged");
  EllipsoidList records;
  records.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    EllipsoidRecord record;
    if (!reader.readString(record.name) || !reader.readDouble(record.a) || !reader.readDouble(record.b)) {
      return fail("ellipsoid " + std::to_string(i + 1) + " is damaged");
    }
    // Axes no conversion can use (NaN, zero, negative, infinite, b > a)
    // made every point "outside the domain" of a successful run.
    if (CheckEllipsoidAxes(record.a, record.b) == AxesProblem::Range) {
      return fail("ellipsoid " + std::to_string(i + 1) + " \"" + windows1252ToUtf8(record.name) + "\" has axes no conversion can use (a = " +
                  formatMessage("%s", {record.a}) + " m, b = " + formatMessage("%s", {record.b}) + " m)");
    }
    records.push_back(std::move(record));
  }
  // Bytes after the records the count names are not read (the format
  // defines none; another writer may pad the file).
  list = std::move(records);
  return true;
}

bool WriteEllipsoidDatabase(const std::filesystem::path& path, const EllipsoidList& list) {
  ArchiveWriter writer;
  writer.writeInt32(static_cast<std::int32_t>(list.size()));
  for (const EllipsoidRecord& record : list) {
    writer.writeString(record.name);
    writer.writeDouble(record.a);
    writer.writeDouble(record.b);
  }
  if (!WritePendingChecksum(path, writer.data()) || !writer.commit(path)) return false;
  WriteChecksum(path, writer.data());  // the pending pair proves the file too
  return true;
}

int FindEllipsoid(const EllipsoidList& list, std::string_view name) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

EllipsoidRecord SettingsEllipsoid(const EllipsoidList& list, int index) {
  if (list.empty()) return {};
  return list[index >= 0 && index < static_cast<int>(list.size()) ? static_cast<std::size_t>(index) : 0];
}

std::string EllipsoidFigures(const EllipsoidRecord& ellipsoid) {
  std::string text = "a = " + formatFixed(ellipsoid.a, 0, 3) + " m, ";
  const double f = (ellipsoid.a - ellipsoid.b) / ellipsoid.a;
  return text + (f > 0.0 ? "1/f = " + formatFixed(1.0 / f, 0, 7) : std::string("sphere"));
}

}  // namespace pelmar
