#pragma once

#include <string>

#include "app/OptionSection.h"

namespace pelmar {

// An angle in degrees, minutes and seconds as the settings hold it.
struct DmsValue {
  int degrees = 0;
  int minutes = 0;
  double seconds = 0.0;
};

// The three keys of a DMS value: prefix + "Grad", "Minuten", "Sekunden".
template <class Value, class Visit>
void dmsKeys(const std::string& prefix, Value& value, Visit&& visit) {
  visit(prefix + "Grad", value.degrees);
  visit(prefix + "Minuten", value.minutes);
  visit(prefix + "Sekunden", value.seconds);
}

// Central meridian of Gauss–Krüger and UTM, section "L0Settings".
struct CentralMeridianOptions {
  static constexpr const char* kSection = "L0Settings";
  template <class Self, class Visit>
  static void keys(Self& o, Visit&& visit) {
    visit("L0", o.L0);
    visit("L0Auto", o.L0Auto);
  }
  double L0 = 0.0;  // degrees
  int L0Auto = 1;   // 1: the meridian follows each point
  void load(const SettingsStore& store) { LoadSection(store, *this); }
  bool save(const SettingsStore& store) const { return SaveSection(store, *this); }
};

// Austrian central meridian M28 / M31 / M34, section "L0AustriaSettings".
struct AustrianMeridianOptions {
  static constexpr const char* kSection = "L0AustriaSettings";
  template <class Self, class Visit>
  static void keys(Self& o, Visit&& visit) {
    visit("L0Austria", o.L0Austria);
    visit("L0AustriaAuto", o.L0AustriaAuto);
  }
  static constexpr double kMeridians[3] = {10.0 + 1.0 / 3.0, 13.0 + 1.0 / 3.0, 16.0 + 1.0 / 3.0};
  double L0Austria = kMeridians[0];
  int L0AustriaAuto = 1;  // automatic unless the user chose a meridian
  // The meridian button a stored value selects: 0–2, or -1 when the value is
  // none of the three exactly.
  int meridianIndex() const;
  void load(const SettingsStore& store) { LoadSection(store, *this); }
  bool save(const SettingsStore& store) const { return SaveSection(store, *this); }
};

// Mercator central meridian, section "MercatorSettings".
struct MercatorOptions {
  static constexpr const char* kSection = "MercatorSettings";
  template <class Self, class Visit>
  static void keys(Self& o, Visit&& visit) { visit("L0", o.L0); }
  double L0 = 0.0;
  void load(const SettingsStore& store) { LoadSection(store, *this); }
  bool save(const SettingsStore& store) const { return SaveSection(store, *this); }
};

// Lambert conformal conic, section "LambertSettings": a user-defined case
// (0) and the presets Estonia L-EST97 (1), Belgian Lambert 2005 (2) and
// France Lambert-93 (3), which show their constants read-only.
struct LambertOptions {
  static constexpr const char* kSection = "LambertSettings";
  template <class Self, class Visit>
  static void keys(Self& o, Visit&& visit) {
    dmsKeys("BNord", o.north, visit);
    dmsKeys("BSued", o.south, visit);
    dmsKeys("L0", o.meridian, visit);
    dmsKeys("B0", o.origin, visit);
    visit("FalseNorth", o.falseNorth);
    visit("FalseEast", o.falseEast);
    visit("Version", o.version);
  }
  DmsValue north;   // northern standard parallel ("BNord…")
  DmsValue south;   // southern, or the only, standard parallel ("BSued…")
  DmsValue meridian;  // central meridian ("L0…")
  DmsValue origin;  // latitude of origin ("B0…")
  double falseNorth = 0.0;
  double falseEast = 0.0;
  int version = 0;  // 0: one standard parallel, 1: two

  // The constants of a preset case (1–3) as the dialog shows them.
  static LambertOptions preset(int lambertCase);
  void load(const SettingsStore& store) { LoadSection(store, *this); }
  bool save(const SettingsStore& store) const { return SaveSection(store, *this); }
};

// Cassini–Soldner origin, section "SoldnerSettings" (shared with the plane
// estimation, whose keys differ).
struct SoldnerOptions {
  static constexpr const char* kSection = "SoldnerSettings";
  template <class Self, class Visit>
  static void keys(Self& o, Visit&& visit) {
    dmsKeys("B0", o.origin, visit);
    dmsKeys("L0", o.meridian, visit);
    visit("FalseEast", o.falseEast);
    visit("FalseNorth", o.falseNorth);
  }
  DmsValue origin;    // latitude of origin ("B0…")
  DmsValue meridian;  // meridian of origin ("L0…")
  double falseEast = 0.0;
  double falseNorth = 0.0;

  // The Baden system: origin 49°29′11.0″, meridian 26°07′35.8″ east of Ferro.
  static SoldnerOptions baden();
  void load(const SettingsStore& store) { LoadSection(store, *this); }
  bool save(const SettingsStore& store) const { return SaveSection(store, *this); }
};

// Ferro lies 17°39′46.02″ west of Greenwich (degrees).
inline constexpr double kFerroOffset = 17.662783333;

}  // namespace pelmar
