#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "io/Archive.h"
#include "io/FileAccess.h"
#include "text/TextEncoding.h"
#include "settings/EllipsoidDatabase.h"
#include "settings/EllipsoidParameters.h"
#include "settings/GeneralSettings.h"
#include "support/TestSupport.h"

namespace pelmar {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

std::string bytes(std::initializer_list<unsigned char> values) { return std::string(values.begin(), values.end()); }

std::string int32(std::int32_t value) {
  std::string text(4, '\0');
  std::memcpy(text.data(), &value, 4);
  return text;
}

std::string float64(double value) {
  std::string text(8, '\0');
  std::memcpy(text.data(), &value, 8);
  return text;
}

TEST(EllipsoidDatabase, shipped_file_holds_the_eight_ellipsoids_in_order) {
  EllipsoidList list;
  std::string problem;
  ASSERT_TRUE(ReadEllipsoidDatabase(test::binDir() / kEllipsoidFileName, list, &problem)) << problem;
  const EllipsoidRecord expected[] = {{"Bessel", 6377397.155, 6356078.962818},  {"GRS80", 6378137, 6356752.314140},
                                      {"WGS84", 6378137, 6356752.314245},       {"Krassowski", 6378245, 6356863.018773},
                                      {"Hayford", 6378388, 6356911.946128},     {"GRS67", 6378160, 6356774.516091},
                                      {"Clarke1866", 6378206.4, 6356583.8},      {"Airy", 6377563.396, 6356256.909}};
  ASSERT_EQ(list.size(), std::size(expected));
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i].name, expected[i].name);
    EXPECT_EQ(list[i].a, expected[i].a);
    EXPECT_EQ(list[i].b, expected[i].b);
  }
  // The exact bytes of the first record: count, length byte, name, a, b.
  EXPECT_EQ(readFile(test::binDir() / kEllipsoidFileName).substr(0, 27),
            int32(8) + "\x06" "Bessel" + float64(6377397.155) + float64(6356078.962818));
}

TEST(EllipsoidDatabase, names_of_every_length_prefix_round_trip) {
  TempDir dir;
  const EllipsoidList list = {{"", 1, 1}, {std::string(254, 'a'), 2, 2}, {std::string(255, 'b'), 3, 3},
                              {std::string(65533, 'c'), 4, 4}, {std::string(65534, 'd'), 5, 5},
                              {"Gau\xDF", 6, 6}};
  ASSERT_TRUE(WriteEllipsoidDatabase(dir / "Ellip.db", list));
  const std::string raw = readFile(dir / "Ellip.db");
  EXPECT_EQ(raw.substr(4 + 1 + 16 + 1 + 254 + 16, 3), bytes({0xFF, 0xFF, 0x00})) << "255 takes the 2-byte form";
  EllipsoidList back;
  ASSERT_TRUE(ReadEllipsoidDatabase(dir / "Ellip.db", back));
  ASSERT_EQ(back.size(), list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(back[i].name, list[i].name) << i;
    EXPECT_EQ(back[i].a, list[i].a);
  }
}

// A damaged file is refused whole, never read past its end, and never makes
// the reader allocate what a count or a length claims.
// The count names the records; bytes after them are not read (they used to
// stop the program).
TEST(EllipsoidDatabase, bytes_after_the_counted_records_are_ignored) {
  TempDir dir;
  writeFile(dir / "Ellip.db", int32(1) + "\x05" "GRS80" + float64(6378137) + float64(6356752.31414) + "padding\0");
  EllipsoidList list;
  ASSERT_TRUE(ReadEllipsoidDatabase(dir / "Ellip.db", list));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "GRS80");
}

TEST(EllipsoidDatabase, damaged_files_are_refused) {
  const std::string good = int32(1) + "\x05" "GRS80" + float64(6378137) + float64(6356752.31414);
  const struct {
    const char* what;
    std::string content;
  } cases[] = {
      {"empty", ""},
      {"truncated count", good.substr(0, 3)},
      {"truncated record", good.substr(0, good.size() - 1)},
      {"count 2^31-1", int32(2147483647) + good.substr(4)},
      {"negative count", int32(-1) + good.substr(4)},
      {"name length past the end", int32(1) + "\x40" "GRS80" + float64(1) + float64(1)},
      {"2-byte name length past the end", int32(1) + bytes({0xFF, 0x00, 0xF0}) + "x"},
      {"4-byte name length past the end", int32(1) + bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}) + "x"},
      {"UTF-16 marker", int32(1) + bytes({0xFF, 0xFE, 0xFF, 0x02}) + "ab" + float64(1) + float64(1)},
      // Axes no conversion can use: named with their record.
      {"NaN axis", int32(1) + "\x03" "Nan" + float64(std::nan("")) + float64(6356752.0)},
      {"zero axes", int32(1) + "\x04" "Zero" + float64(0) + float64(0)},
      {"negative axis", int32(1) + "\x03" "Neg" + float64(6378137) + float64(-1)},
      {"infinite axis", int32(1) + "\x03" "Inf" + float64(INFINITY) + float64(6356752.0)},
      {"b above a", int32(1) + "\x04" "Flip" + float64(6356752.0) + float64(6378137)},
  };
  TempDir dir;
  for (const auto& c : cases) {
    writeFile(dir / "Ellip.db", c.content);
    EllipsoidList list = {{"kept", 1, 1}};
    std::string problem;
    EXPECT_FALSE(ReadEllipsoidDatabase(dir / "Ellip.db", list, &problem)) << c.what;
    EXPECT_EQ(list.size(), 1u) << "the list stays as it was: " << c.what;
    EXPECT_NE(problem.find("Ellip.db"), std::string::npos) << problem;
    if (std::string(c.what).find("axis") != std::string::npos || std::string(c.what).find("axes") != std::string::npos ||
        std::string(c.what) == "b above a") {
      EXPECT_NE(problem.find("ellipsoid 1 \""), std::string::npos) << "the record is named: " << problem;
    }
  }
  EllipsoidList list;
  EXPECT_FALSE(ReadEllipsoidDatabase(dir / "missing.db", list));
}

TEST(EllipsoidDatabase, lookup_by_name_takes_the_first_match) {
  const EllipsoidList list = {{"A", 1, 1}, {"B", 2, 2}, {"A", 3, 3}};
  EXPECT_EQ(FindEllipsoid(list, "A"), 0);
  EXPECT_EQ(FindEllipsoid(list, "B"), 1);
  EXPECT_EQ(FindEllipsoid(list, "a"), -1);
}

TEST(EllipsoidParameters, conversions_between_b_e2_and_f) {
  const double a = 6378137.0, b = 6356752.314140;
  const double f = (a - b) / a, e2 = (a * a - b * b) / (a * a);
  using P = SecondParameter;
  const struct {
    double value;
    P from, to;
    double expected, tolerance;
  } cases[] = {{b, P::SemiMinorAxis, P::Flattening, f, 1e-16},
               {b, P::SemiMinorAxis, P::EccentricitySquared, e2, 1e-16},
               {f, P::Flattening, P::EccentricitySquared, 1 - (1 - f) * (1 - f), 1e-16},
               {e2, P::EccentricitySquared, P::Flattening, f, 1e-15},
               {e2, P::EccentricitySquared, P::SemiMinorAxis, b, 1e-6},
               {f, P::Flattening, P::SemiMinorAxis, b, 1e-6},
               {a + 10, P::SemiMinorAxis, P::Flattening, 0.0, 0.0},   // negative results become 0
               {-0.1, P::Flattening, P::EccentricitySquared, 0.0, 0.0},
               {1.5, P::EccentricitySquared, P::SemiMinorAxis, 0.0, 0.0}};  // no number
  for (const auto& c : cases) {
    EXPECT_NEAR(convertSecondParameter(a, c.value, c.from, c.to), c.expected, c.tolerance)
        << static_cast<int>(c.from) << "->" << static_cast<int>(c.to);
  }
}

TEST(GeneralSettings, overrides_apply_without_a_settings_file) {
  TempDir dir;
  SettingsStore store;
  store.SetFile(dir / "none.ini");
  auto overrides = std::make_shared<SettingsOverrides>();
  overrides->set("GeneralSettings", "NachkommaKartesisch", "5");
  overrides->set("Interpolation", "dsH", "12345");
  store.setOverrides(overrides);
  GeneralSettings settings;
  EXPECT_FALSE(settings.load(store).fileRead);
  EXPECT_EQ(settings.decimalsCartesian, 5);
  EXPECT_EQ(settings.decimalsGeographic, 6) << "keys without an override keep their defaults";
  EXPECT_DOUBLE_EQ(settings.interpolationDistance, 1.2345);
  EXPECT_EQ(settings.interpolationActive, 1);
}

// What is not in the file keeps the shipped default; what is there keeps its
// reading. A start and a close of an earlier desktop program left a file with
// the session alone, and the general settings then read as 0 decimals
// (coordinates rounded to whole degrees); a save wrote those zeros back.
TEST(GeneralSettings, missing_keys_keep_their_defaults_and_zeroed_sections_are_repaired) {
  const std::string zeroedGeneral =
      "[GeneralSettings]\nNachkommaGeog=0\nNachkommaKartesisch=0\nFormatGeog=0\nEllip=0\nEditor=\n"
      "UserDefinedHeader=0\nIncludeDate=0\nFormatUTM=0\n";
  const struct {
    const char* what;
    std::string file;  // empty: no file
    int geographic, cartesian;
    const char* editor;
    int active;
    double distance;
    bool repaired;
  } cases[] = {
      {"no file", "", 6, 3, "xdg-open", 1, 5.0, false},
      {"the session alone", "[DesktopSession]\nConversionInput=/tmp/a.txt\n", 6, 3, "xdg-open", 1, 5.0, false},
      {"an option section alone", "[L0Settings]\nL0=9\n", 6, 3, "xdg-open", 1, 5.0, false},
      {"one general key", "[GeneralSettings]\nNachkommaGeog=4\n", 4, 3, "xdg-open", 1, 5.0, false},
      {"a key with an empty value", "[GeneralSettings]\nNachkommaKartesisch=\n", 6, 0, "xdg-open", 1, 5.0, false},
      {"zeros beside a real value", "[GeneralSettings]\nNachkommaGeog=0\nEditor=vi\n", 0, 3, "vi", 1, 5.0, false},
      {"a key or two at 0 by hand", "[GeneralSettings]\nNachkommaGeog=0\nEditor=\n", 0, 3, "", 1, 5.0, false},
      {"zeroed by a save", zeroedGeneral + "[Interpolation]\nInterpolationActive=0\nInterpolationtype=0\ndsH=0\n", 6,
       3, "xdg-open", 1, 5.0, true},
      {"zeroed, interpolation chosen",
       zeroedGeneral + "[Interpolation]\nInterpolationActive=1\nInterpolationtype=2\ndsH=20000\n", 6, 3,
       "xdg-open", 1, 2.0, true},
      {"zeroed without interpolation", "[DesktopSession]\nA=1\n" + zeroedGeneral, 6, 3, "xdg-open", 1, 5.0, true},
      {"zeros this version saved", zeroedGeneral + "SavedBy=Pelmar 2\n", 0, 0, "", 1, 5.0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    if (!c.file.empty()) writeFile(dir / "user.ini", c.file);
    SettingsStore store;
    store.SetFile(dir / "user.ini");
    GeneralSettings settings;
    const GeneralSettings::Source source = settings.load(store);
    EXPECT_EQ(source.fileRead, !c.file.empty());
    EXPECT_EQ(source.repaired, c.repaired);
    EXPECT_EQ(settings.decimalsGeographic, c.geographic);
    EXPECT_EQ(settings.decimalsCartesian, c.cartesian);
    EXPECT_EQ(settings.editor, c.editor);
    EXPECT_EQ(settings.interpolationActive, c.active);
    EXPECT_DOUBLE_EQ(settings.interpolationDistance, c.distance);
    if (!c.file.empty()) {
      EXPECT_EQ(readFile(dir / "user.ini"), c.file) << "loading never writes";
    }
  }
}

TEST(GeneralSettings, save_writes_every_key_and_truncates_dsh) {
  TempDir dir;
  SettingsStore store;
  store.SetFile(dir / "user.ini");
  GeneralSettings settings;
  settings.interpolationDistance = 2.99999;
  ASSERT_TRUE(settings.save(store));
  EXPECT_EQ(readFile(dir / "user.ini"),
            "[GeneralSettings]\nNachkommaGeog=6\nNachkommaKartesisch=3\nFormatGeog=0\nEllip=0\nEditor=xdg-open\n"
            "UserDefinedHeader=0\nIncludeDate=0\nFormatUTM=1\nAxisOrder=0\nKeepRest=0\nEncoding=0\nSavedBy=Pelmar 2\n\n[Interpolation]\nInterpolationActive=1\n"
            "Interpolationtype=0\ndsH=29999\n");
}

// "dsH" is value × 10000 truncated: 0.57 used to be stored as 5699 and
// 68,866 of the integers up to 1,000,000 lost one at the first re-save.
TEST(GeneralSettings, dsh_survives_any_number_of_loads_and_saves) {
  int drifted = 0;
  for (int stored = -1000; stored <= 1000000; ++stored) {
    drifted += StoredDistance(DistanceFromStored(stored)) != stored;
  }
  EXPECT_EQ(drifted, 0);
  EXPECT_EQ(StoredDistance(0.57), 5700);
  EXPECT_EQ(StoredDistance(2.99999), 29999);
  EXPECT_EQ(StoredDistance(0.12345), 1234) << "a fifth decimal is still cut off";
  EXPECT_EQ(StoredDistance(-0.57), -5700);
}

// Each general setting at the edges of its range reads back as saved;
// beyond them it is brought to its range when loaded, so the page and the
// jobs agree (FormatGeog 2 showed decimal degrees and wrote DMS).
TEST(GeneralSettings, values_at_their_edges_round_trip_and_beyond_them_are_normalised) {
  TempDir dir;
  SettingsStore store;
  store.SetFile(dir / "user.ini");
  const struct {
    const char *section, *key, *stored;
    int GeneralSettings::*field;
    int expected;
  } cases[] = {
      {"GeneralSettings", "NachkommaGeog", "0", &GeneralSettings::decimalsGeographic, 0},
      {"GeneralSettings", "NachkommaGeog", "20", &GeneralSettings::decimalsGeographic, 20},
      {"GeneralSettings", "NachkommaGeog", "21", &GeneralSettings::decimalsGeographic, 20},
      {"GeneralSettings", "NachkommaKartesisch", "-3", &GeneralSettings::decimalsCartesian, 0},
      {"GeneralSettings", "FormatGeog", "1", &GeneralSettings::formatGeographic, 1},
      {"GeneralSettings", "FormatGeog", "2", &GeneralSettings::formatGeographic, 0},
      {"GeneralSettings", "FormatUTM", "0", &GeneralSettings::formatUtm, 0},
      {"GeneralSettings", "FormatUTM", "5", &GeneralSettings::formatUtm, 1},
      {"GeneralSettings", "Ellip", "-1", &GeneralSettings::ellipsoid, 0},
      {"GeneralSettings", "UserDefinedHeader", "7", &GeneralSettings::userDefinedHeader, 1},
      {"GeneralSettings", "IncludeDate", "1", &GeneralSettings::includeDate, 1},
      {"Interpolation", "InterpolationActive", "2", &GeneralSettings::interpolationActive, 0},
      {"Interpolation", "Interpolationtype", "2", &GeneralSettings::interpolationType, 2},
      {"Interpolation", "Interpolationtype", "3", &GeneralSettings::interpolationType, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.stored);
    writeFile(dir / "user.ini", std::string("[") + c.section + "]\n" + c.key + "=" + c.stored + "\n");
    GeneralSettings first;
    first.load(store);
    EXPECT_EQ(first.*c.field, c.expected);
    ASSERT_TRUE(first.save(store));
    GeneralSettings second;
    second.load(store);
    EXPECT_EQ(second.*c.field, c.expected) << "and stays so after a save";
  }
}

TEST(TextEncoding, converts_between_utf8_and_windows_1252) {
  EXPECT_EQ(utf8ToWindows1252("48°07′ Größe €"), "48\xB0" "07? Gr\xF6\xDF" "e \x80");
  EXPECT_EQ(windows1252ToUtf8("48\xB0 Gr\xF6\xDF" "e \x80 \x81"), "48° Größe € \xEF\xBF\xBD");
  EXPECT_EQ(utf8ToWindows1252("already \xB0 bytes"), "already \xB0 bytes");
  EXPECT_TRUE(isValidUtf8("Größe"));
  EXPECT_FALSE(isValidUtf8("Gr\xF6\xDF" "e"));
  EXPECT_FALSE(isValidUtf8("\xC0\xAF"));  // overlong
}

TEST(FileAccess, output_directory_of_a_path) {
  EXPECT_EQ(outputDirectory("/home/u/out.aus"), "/home/u");
  EXPECT_EQ(outputDirectory("/out.aus"), "/");
  EXPECT_EQ(outputDirectory("out.aus"), ".") << "a bare name writes into the working directory";
  EXPECT_EQ(outputDirectory("dir/out.aus"), "dir");
  TempDir dir;
  EXPECT_TRUE(canWriteOutputDirectory((dir / "x.aus").string()));
  EXPECT_FALSE(canWriteOutputDirectory((dir / "missing" / "x.aus").string()));
  writeFile(dir / "file", "");
  EXPECT_FALSE(canWriteOutputDirectory((dir / "file" / "x.aus").string()));
}

}  // namespace
}  // namespace pelmar
