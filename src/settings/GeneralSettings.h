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
  int interpolationActive = 1;  // "Interpolation"/"InterpolationActive": distribute residuals
  int interpolationType = 0;    // "Interpolationtype": 0 w = 1/s, 1 w = 1/s², 2 exponential
  double interpolationDistance = 5.0;  // "dsH" (metres), stored as value × 10000
  std::string headerText;       // HeaderInfo.dat, Windows-1252 bytes

  // Reads every key when the settings file can be read: a key it lacks reads
  // as 0 (the editor as ""), not as the default. Without a readable file the
  // defaults stay, except for keys that `--set` overrides give. Returns
  // whether the file was read.
  bool load(const SettingsStore& store);
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
