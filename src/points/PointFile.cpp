#include "points/PointFile.h"

#include "io/FileAccess.h"


#include "app/JobHost.h"
#include "app/OrderedPipeline.h"
#include "io/OutputFile.h"
#include "points/NameIndex.h"
#include "app/StringIds.h"
#include "text/LineReader.h"
#include "text/LineScanner.h"

namespace pelmar {

std::string_view dataPart(std::string_view line) noexcept {
  // Leading white space is blanks and tabs as a text editor shows them; the
  // other control characters that scanf would skip count too.
  line = trimLeft(line);
  if (line.empty() || line.front() == ';' || line.front() == '#') return {};
  return line;
}

bool NamesSwappedAxes(std::string_view line) {
  line = trimBlanks(line);
  if (line.empty() || (line[0] != '#' && line[0] != ';')) return false;
  line.remove_prefix(1);
  std::string words;
  for (char c : line) {
    if (c == ' ' || c == '\t' || c == '\r') {
      if (!words.empty() && words.back() != ' ') words += ' ';
    } else {
      words += c;
    }
  }
  words = std::string(trimBlanks(words));
  return words == "name Y X Z" || words == "Y X Z";
}

namespace {

// `convert` takes a data line, the list, and whether the file's first
// columns are Y X (NamesSwappedAxes).
template <class Convert>
int readPointFile(const std::filesystem::path& path, PointList& points, UnreadableLines* unreadable, Convert convert) {
  LineReader reader(path);
  reader.setForm(PointInputForm(path));
  if (!reader.isOpen()) return 0;
  std::string_view line;
  bool dataSeen = false, swapped = false;
  while (reader.next(line)) {
    const std::string_view data = dataPart(line);
    if (trimBlanks(data).empty()) {
      swapped = swapped || (!dataSeen && NamesSwappedAxes(line));
      continue;
    }
    dataSeen = true;
    if (!convert(data, points, swapped) && unreadable != nullptr && unreadable->count++ == 0) {
      unreadable->firstLine = reader.lineNumber();
    }
  }
  return 1;
}

}  // namespace

int ReadPointFile2D(const std::filesystem::path& path, PointList& points, UnreadableLines* unreadable,
                    bool keepRest) {
  return readPointFile(path, points, unreadable, [keepRest](std::string_view data, PointList& list, bool) {
    std::string_view name;
    double y = 0.0;
    double x = 0.0;
    if (scanFields(data, name, y, x) < 3) return false;
    list.push_back(
        PointRecord{std::string(name), y, x, 0.0, keepRest ? RestText(RestAfterWords(data, 3)) : RestText()});
    return true;
  });
}

bool ScanPoint3D(std::string_view data, bool swapped, std::string_view& name, double& x, double& y, double& z) {
  if (scanFields(data, name, x, y, z) < 4) return false;
  if (swapped) std::swap(x, y);
  return true;
}

int ReadPointFile3D(const std::filesystem::path& path, PointList& points, UnreadableLines* unreadable,
                    bool keepRest) {
  return readPointFile(path, points, unreadable, [keepRest](std::string_view data, PointList& list, bool swapped) {
    std::string_view name;
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    if (!ScanPoint3D(data, swapped, name, x, y, z)) return false;
    list.push_back(PointRecord{std::string(name), y, x, z, keepRest ? RestText(RestAfterWords(data, 4)) : RestText()});
    return true;
  });
}

std::int64_t CountDataLines(const std::filesystem::path& path) {
  if (IsStandardStream(path)) return 0;  // a pipe is read once, by the job: no count, no bar
  LineReader reader(path);
  reader.setForm(PointInputForm(path));
  if (!reader.isOpen()) return -1;
  std::int64_t count = 0;
  std::string_view line;
  while (reader.next(line)) {
    if (!trimBlanks(dataPart(line)).empty()) ++count;
  }
  return count;
}

namespace {

struct NameOf {
  const PointList* points;
  std::string_view operator()(std::size_t i) const { return (*points)[i].name; }
};

}  // namespace

RepeatedNames FindRepeatedNames(const PointList& points) {
  NameIndex<NameOf> names(NameOf{&points}, points.size());
  RepeatedNames repeated;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (names.FindOrAdd(points[i].name, i) >= 0 && repeated.count++ == 0) repeated.first = i;
  }
  return repeated;
}

std::vector<std::ptrdiff_t> PairByName(const PointList& source, const PointList& target,
                                       RepeatedNames* targetRepeated) {
  NameIndex<NameOf> firstByName(NameOf{&target}, target.size());
  RepeatedNames repeated;
  for (std::size_t i = 0; i < target.size(); ++i) {
    // Keeps the first of a repeated name.
    if (firstByName.FindOrAdd(target[i].name, i) >= 0 && repeated.count++ == 0) repeated.first = i;
  }
  if (targetRepeated != nullptr) *targetRepeated = repeated;
  std::vector<std::ptrdiff_t> partner;
  partner.reserve(source.size());
  for (const PointRecord& point : source) partner.push_back(firstByName.Find(point.name));
  return partner;
}

bool OpenStreamedBatch(JobHost& host, const LineReader& reader, const std::filesystem::path& inputPath,
                       OutputFile& output, const std::filesystem::path& outputPath) {
  if (!reader.isOpen()) {
    host.message(reader.notRegular() ? str::InputNotRegularFile : str::InputNotOpened, {inputPath.string()});
    return false;
  }
  if (!output.open(outputPath)) {
    host.message(output.failureMessage(str::OutputNotCreated), {outputPath.string()});
    return false;
  }
  return true;
}

bool FinishStreamedBatch(JobHost& host, const LineReader& reader, const PipelineEnd& end,
                         const std::filesystem::path& inputPath, OutputFile& output,
                         const std::filesystem::path& outputPath, const PointRunCounts& counts) {
  if (end.failed) {
    host.message(str::OutputNotCreated, {outputPath.string()});
    return false;
  }
  if (end.readFailed || reader.failed()) {
    host.message(str::InputNotOpened, {inputPath.string()});
    return false;
  }
  const std::int64_t unreadable = counts.linesUnreadable;
  if (counts.linesRead > 0 && unreadable == counts.linesRead) {
    // A file of which no line could be read is no success: the old output stays.
    host.message(str::LinesUnreadable, {unreadable, inputPath.string(), counts.firstUnreadableLine});
    return false;
  }
  if (!output.commit()) {
    host.message(str::OutputNotCreated, {outputPath.string()});
    return false;
  }
  if (unreadable > 0) host.message(str::LinesUnreadable, {unreadable, inputPath.string(), counts.firstUnreadableLine});
  return true;
}

}  // namespace pelmar
