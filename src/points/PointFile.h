#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "points/PointRecord.h"
#include "points/PointRunCounts.h"

namespace pelmar {

// The data part of a raw line: the line without its leading white space, or
// an empty view when the line is blank or a comment (first character ";" or
// "#" after the leading white space).
std::string_view dataPart(std::string_view line) noexcept;

// A comment line "# name Y X Z" (or "# Y X Z"), before the first point: the
// columns of transformed cartesian points written in their models' order
// (see kSwappedAxesHeader); the readers of cartesian points take them so.
bool NamesSwappedAxes(std::string_view line);

// Data lines a reader could not use: how many, and the first one's number.
struct UnreadableLines {
  std::int64_t count = 0;
  std::int64_t firstLine = 0;
};

// Plane point file, lines "name Y X ...": appends every line with a name and
// two numbers to `points`; other data lines are counted in `unreadable`.
// Returns 1, or 0 when the file cannot be opened.
// With `keepRest` each point keeps the text after its values (--keep-rest).
int ReadPointFile2D(const std::filesystem::path& path, PointList& points, UnreadableLines* unreadable = nullptr,
                    bool keepRest = false);

// Spatial point file, lines "name X Y Z ...". Returns 1, or 0 when the file
// cannot be opened.
int ReadPointFile3D(const std::filesystem::path& path, PointList& points, UnreadableLines* unreadable = nullptr,
                    bool keepRest = false);

// One data line of a spatial point file, "name X Y Z ...": the name and the
// three numbers, X and Y exchanged when the file's columns are Y X
// (`swapped`, see NamesSwappedAxes); false when the line has fewer.
bool ScanPoint3D(std::string_view data, bool swapped, std::string_view& name, double& x, double& y, double& z);

// Counting pass of the batch jobs: lines that are neither blank nor comments,
// malformed ones included. Returns -1 when the file cannot be opened.
std::int64_t CountDataLines(const std::filesystem::path& path);

// Points that repeat a name given before them in their list: how many, and
// the index of the first of them.
struct RepeatedNames {
  std::int64_t count = 0;
  std::size_t first = 0;
};
RepeatedNames FindRepeatedNames(const PointList& points);

// Pairs points by name, byte for byte and letter case included: for each
// source point, the index of the first target point with the same name, or
// -1 when there is none. Runs in linear time. `targetRepeated`, when given,
// receives the target's repeated names (FindRepeatedNames) found on the way.
std::vector<std::ptrdiff_t> PairByName(const PointList& source, const PointList& target,
                                       RepeatedNames* targetRepeated = nullptr);

class JobHost;
class LineReader;
class OutputFile;
struct PipelineEnd;

// The start of a job that streams a point file into an output file: false,
// with message 119 or 120, when the input is not open or the output cannot
// be created.
bool OpenStreamedBatch(JobHost& host, const LineReader& reader, const std::filesystem::path& inputPath,
                       OutputFile& output, const std::filesystem::path& outputPath);

// The end of a job that streamed a point file into an output file through
// the pipeline: every stage done (else message 120 when a worker failed, 119
// when reading did), the input read to its end (else 119), some of its data
// lines readable (else 1330 and a failure), the output committed (else 120),
// and the unreadable lines told (1330) when there were any. False when the
// run failed; the old output then stays as it was.
bool FinishStreamedBatch(JobHost& host, const LineReader& reader, const PipelineEnd& end,
                         const std::filesystem::path& inputPath, OutputFile& output,
                         const std::filesystem::path& outputPath, const PointRunCounts& counts);

}  // namespace pelmar
