#include "points/PointFile.h"

#include <gtest/gtest.h>

#include <clocale>

#include "points/LineFormatters.h"
#include "points/NameIndex.h"
#include "text/LineReader.h"
#include "support/TestSupport.h"

namespace pelmar {
namespace {

using test::TempDir;
using test::writeFile;

TEST(ReadPointFile2D, reads_name_easting_northing_and_skips_what_is_not_a_point) {
  TempDir dir;
  writeFile(dir / "plane.txt",
            "  P1    100.5     200.25\n"
            "P2 100,5 200,25\n"            // comma decimals: only two items
            "# comment 1 2\n"
            "   ; comment 1 2\n"
            "\n"
            "   \t\n"
            "P1;x 1 2\n"                    // only the first character marks a comment
            "P3 3 4 99 code\n"              // extra items are ignored
            "P4 5\n"
            "p1 7 8\r\n"                    // Windows line end
            "P1 9 10");                     // last line without a line break
  PointList points;
  ASSERT_EQ(ReadPointFile2D(dir / "plane.txt", points), 1);
  ASSERT_EQ(points.size(), 5u);
  const struct {
    const char* name;
    double y, x;
  } expected[] = {{"P1", 100.5, 200.25}, {"P1;x", 1, 2}, {"P3", 3, 4}, {"p1", 7, 8}, {"P1", 9, 10}};
  for (std::size_t i = 0; i < points.size(); ++i) {
    EXPECT_EQ(points[i].name, expected[i].name);
    EXPECT_EQ(points[i].Y, expected[i].y);
    EXPECT_EQ(points[i].X, expected[i].x);
  }
}

TEST(ReadPointFile3D, reads_x_y_z_and_skips_lines_with_two_numbers) {
  TempDir dir;
  writeFile(dir / "space.txt", "A 1 2\nB 4000000.1 600000.2 4900000.3\n");
  PointList points;
  ASSERT_EQ(ReadPointFile3D(dir / "space.txt", points), 1);
  ASSERT_EQ(points.size(), 1u);
  EXPECT_EQ(points[0].name, "B");
  EXPECT_EQ(points[0].X, 4000000.1);
  EXPECT_EQ(points[0].Y, 600000.2);
  EXPECT_EQ(points[0].Z, 4900000.3);
}

TEST(ReadPointFile, empty_file_gives_an_empty_list_and_missing_file_zero) {
  TempDir dir;
  writeFile(dir / "empty.txt", "");
  PointList points;
  EXPECT_EQ(ReadPointFile2D(dir / "empty.txt", points), 1);
  EXPECT_EQ(ReadPointFile3D(dir / "empty.txt", points), 1);
  EXPECT_TRUE(points.empty());
  EXPECT_EQ(ReadPointFile2D(dir / "missing.txt", points), 0);
  EXPECT_EQ(ReadPointFile3D(dir / "missing.txt", points), 0);
}

// Lines up to 1 MiB are read whole; a longer one (10 MB here) is counted as
// unreadable and named, and the memory stays bounded (a line grew its
// buffer without limit).
TEST(ReadPointFile, reads_long_lines_and_counts_overlong_ones_as_unreadable) {
  TempDir dir;
  const std::string longName((1 << 20) - 100, 'L');
  const std::string overlong(10'000'000, 'X');
  writeFile(dir / "long.txt", "A 1 2\n" + longName + " 3 4\n" + overlong + " 7 8\nB 5 6\n");
  PointList points;
  UnreadableLines skipped;
  ASSERT_EQ(ReadPointFile2D(dir / "long.txt", points, &skipped), 1);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[1].name, longName);
  EXPECT_EQ(points[1].X, 4.0);
  EXPECT_EQ(points[2].name, "B");
  EXPECT_EQ(skipped.count, 1);
  EXPECT_EQ(skipped.firstLine, 3);
}

TEST(CountDataLines, counts_lines_that_are_neither_blank_nor_comments) {
  TempDir dir;
  writeFile(dir / "in.txt", "P1 1 2\n; c\n  # c\n \t \r\nNAME word\nP2 1,5 2\n\n   P3 1 2 3");
  EXPECT_EQ(CountDataLines(dir / "in.txt"), 4);
  EXPECT_EQ(CountDataLines(dir / "missing.txt"), -1);
}

TEST(PairByName, pairs_with_the_first_target_of_equal_name_letter_case_included) {
  const PointList source = {{"P1"}, {"p1"}, {"P2"}, {"P1"}, {"Q"}};
  const PointList target = {{"P2"}, {"P1"}, {"P1"}, {"p1"}};
  EXPECT_EQ(PairByName(source, target), (std::vector<std::ptrdiff_t>{1, 3, 0, 1, -1}));
}

// The hash index against a plain search: names repeated in both lists, some
// unpaired, one empty, prefixes of one another; the index grown from nothing
// (FindOrAdd past its first size) and sized beforehand.
TEST(PairByName, agrees_with_a_plain_search_and_counts_the_repeated_names) {
  PointList source, target;
  for (int i = 0; i < 3000; ++i) {
    source.push_back({"P" + std::to_string(i % 1700 * 7 % 2003)});
    if (i % 5 != 0) target.push_back({"P" + std::to_string(i * 3 % 2011)});
  }
  source.push_back({""}), target.push_back({""}), source.push_back({"P1"}), target.insert(target.begin(), {"P10"});
  auto firstOf = [](const PointList& list, const std::string& name, std::size_t end) -> std::ptrdiff_t {
    for (std::size_t j = 0; j < end; ++j) if (list[j].name == name) return static_cast<std::ptrdiff_t>(j);
    return -1;
  };
  auto plainRepeats = [&](const PointList& list) {
    RepeatedNames out;
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (firstOf(list, list[i].name, i) >= 0 && out.count++ == 0) out.first = i;
    }
    return out;
  };
  RepeatedNames targetRepeated;
  const std::vector<std::ptrdiff_t> partner = PairByName(source, target, &targetRepeated);
  ASSERT_EQ(partner.size(), source.size());
  for (std::size_t i = 0; i < source.size(); ++i) {
    ASSERT_EQ(partner[i], firstOf(target, source[i].name, target.size())) << source[i].name;
  }
  for (const auto& [list, repeated] :
       {std::pair{&source, FindRepeatedNames(source)}, std::pair{&target, targetRepeated}}) {
    const RepeatedNames plain = plainRepeats(*list);
    EXPECT_GT(plain.count, 0);
    EXPECT_EQ(repeated.count, plain.count);
    EXPECT_EQ(repeated.first, plain.first);
  }
  auto nameOf = [&](std::size_t i) { return std::string_view(target[i].name); };
  NameIndex<decltype(nameOf)> grown(nameOf);
  for (std::size_t i = 0; i < target.size(); ++i) {
    ASSERT_EQ(grown.FindOrAdd(target[i].name, i), firstOf(target, target[i].name, i));
  }
  for (const PointRecord& p : source) EXPECT_EQ(grown.Find(p.name), firstOf(target, p.name, target.size()));
}

// A German locale must change nothing: files keep the decimal point.
TEST(PointFilesUnderGermanLocale, read_and_write_with_decimal_points) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous != nullptr ? previous : "C";
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/install-deps.sh makes it)";
  }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  EXPECT_STREQ(probe, "1,5") << "the locale is really German";

  TempDir dir;
  writeFile(dir / "plane.txt", "P1 100.5 200.25\n");
  PointList points;
  ASSERT_EQ(ReadPointFile2D(dir / "plane.txt", points), 1);
  ASSERT_EQ(points.size(), 1u);
  EXPECT_EQ(points[0].Y, 100.5);
  const std::string line = FormatPointLine2(points[0].name, points[0].Y, points[0].X, 3);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(line, "                  P1         100.500         200.250 \n");
}

}  // namespace
}  // namespace pelmar

namespace pelmar {
namespace {

// A byte-order mark before the first line is no part of the first name:
// with it, the point never paired with its partner.
TEST(PointFile, a_byte_order_mark_is_not_part_of_the_first_name) {
  test::TempDir dir;
  test::writeFile(dir / "p.txt", "\xEF\xBB\xBFP1 10 20\r\nP2 30 40\r\n");
  PointList points;
  ASSERT_EQ(ReadPointFile2D(dir / "p.txt", points), 1);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0].name, "P1");
}

}  // namespace
}  // namespace pelmar
