#pragma once

#include <filesystem>
#include <string>

#include "app/SettingsStore.h"

namespace pelmar {

// The user's general settings, sections "GeneralSettings" and "Interpolation"
// of the per-user settings file. Jobs take a copy when they start.
struct GeneralSettings {
  // The desktop's opener for text files takes the place of the Windows
  // editor that a settings file written elsewhere may name.
  static constexpr const char* kDefaultEditor = "xdg-open";

  int decimalsGeographic = 6;   // "NachkommaGeog", 0–20
  int decimalsCartesian = 3;    // "NachkommaKartesisch", 0–20
  int formatGeographic = 0;     // "FormatGeog": 0 decimal degrees, 1 degrees, minutes, seconds
  int ellipsoid = 0;            // "Ellip": index into the ellipsoid list
  std::string editor = kDefaultEditor;  // "Editor": program that opens files
  int userDefinedHeader = 0;    // "UserDefinedHeader": reports carry the header text
  int includeDate = 0;          // "IncludeDate": reports carry the date
  int formatUtm = 1;            // "FormatUTM": 0 zone and band columns, 1 easting and northing only
  // "AxisOrder": how transformed cartesian points are written (apply, spatial
  // estimation): 0 Y X Z as ever, 1 X Y Z (the input's order), 2 Y X Z under
  // a first line "# name Y X Z" that Pelmar's own readers understand.
  int axisOrder = 0;
  // "KeepRest": the text after the values a batch job reads (a height it
  // does not use, codes, remarks) is written after the results (1), or
  // dropped as ever (0).
  int keepRest = 0;
  // "Encoding": reports and output point files wholly in Windows-1252 (0, as
  // ever) or wholly in UTF-8 (1); names are converted either way.
  int encoding = 0;
  int interpolationActive = 1;  // "Interpolation"/"InterpolationActive": distribute residuals
  int interpolationType = 0;    // "Interpolationtype": 0 w = 1/s, 1 w = 1/s², 2 exponential
  double interpolationDistance = 5.0;  // "dsH" (metres), stored as value × 10000
  std::string headerText;       // HeaderInfo.dat, Windows-1252 bytes

  // What load found in the file.
  struct Source {
    bool fileRead = false;  // the settings file could be read
    // The file held general settings that a save of zeroed values left
    // behind (every key 0 or empty): they were taken as missing.
    bool repaired = false;
  };
  // Reads the two sections. A key the file holds keeps its reading (an empty
  // value gives 0, the editor ""); a key the file lacks, or a whole missing
  // section, keeps the built-in default above, unless a --set override gives
  // it. A "GeneralSettings" section whose keys are all 0 or empty is what an
  // earlier version wrote back after starting without general settings (6
  // decimals became 0 and coordinates were rounded to whole degrees): it is
  // taken as missing, and so is an "Interpolation" section zeroed with it.
  Source load(const SettingsStore& store);
  // Brings every value into its range, so that the page shows what the jobs
  // use: decimals to 0–20, a format, switch or weighting outside its
  // choices to its default (FormatGeog 2 showed decimal degrees and wrote
  // DMS). Called by load.
  void normalise();

  // Writes every key; false when the file cannot be written.
  bool save(const SettingsStore& store) const;
};

inline constexpr int kMaxDecimals = 20;

// "dsH" is stored as metres × 10000 truncated to an integer, read back as
// integer × 0.0001; a stored value survives any number of loads and saves.
int StoredDistance(double metres);
double DistanceFromStored(int stored);

// "HeaderInfo.dat" in the program directory.
inline constexpr const char* kHeaderFileName = "HeaderInfo.dat";

// Reads the header text: all lines, each followed by a line break. False when
// the file cannot be opened; `text` is then unchanged.
bool ReadHeaderText(const std::filesystem::path& path, std::string& text);
// Replaces the file with the text.
bool WriteHeaderText(const std::filesystem::path& path, const std::string& text);

}  // namespace pelmar
