#include "conversion/ProjectionOptions.h"

namespace pelmar {

namespace {

// Opens the section for loading: true when the file holds it.
bool openSection(SettingsStore& store, const char* section) {
  const bool inFile = store.SectionExists(section);
  store.SetSection(section);
  return inFile;
}

void loadDms(const SettingsStore& store, bool inFile, const char* prefix, DmsValue& value) {
  const std::string p = prefix;
  LoadOption(store, inFile, p + "Grad", value.degrees);
  LoadOption(store, inFile, p + "Minuten", value.minutes);
  LoadOption(store, inFile, p + "Sekunden", value.seconds);
}

bool saveDms(SettingsStore& store, const char* prefix, const DmsValue& value) {
  const std::string p = prefix;
  bool ok = store.WriteInt(p + "Grad", value.degrees);
  ok = store.WriteInt(p + "Minuten", value.minutes) && ok;
  ok = store.WriteDouble(p + "Sekunden", value.seconds) && ok;
  return ok;
}

}  // namespace

void CentralMeridianOptions::load(const SettingsStore& source) {
  SettingsStore store = source;
  const bool inFile = openSection(store, kSection);
  LoadOption(store, inFile, "L0", L0);
  LoadOption(store, inFile, "L0Auto", L0Auto);
}

bool CentralMeridianOptions::save(const SettingsStore& target) const {
  SettingsStore store = target;
  store.SetSection(kSection);
  bool ok = store.WriteDouble("L0", L0);
  ok = store.WriteInt("L0Auto", L0Auto) && ok;
  return ok;
}

int AustrianMeridianOptions::meridianIndex() const {
  for (int i = 0; i < 3; ++i) {
    if (L0Austria == kMeridians[i]) return i;
  }
  return -1;
}

void AustrianMeridianOptions::load(const SettingsStore& source) {
  SettingsStore store = source;
  const bool inFile = openSection(store, kSection);
  LoadOption(store, inFile, "L0Austria", L0Austria);
  LoadOption(store, inFile, "L0AustriaAuto", L0AustriaAuto);
}

bool AustrianMeridianOptions::save(const SettingsStore& target) const {
  SettingsStore store = target;
  store.SetSection(kSection);
  bool ok = store.WriteDouble("L0Austria", L0Austria);
  ok = store.WriteInt("L0AustriaAuto", L0AustriaAuto) && ok;
  return ok;
}

void MercatorOptions::load(const SettingsStore& source) {
  SettingsStore store = source;
  const bool inFile = openSection(store, kSection);
  LoadOption(store, inFile, "L0", L0);
}

bool MercatorOptions::save(const SettingsStore& target) const {
  SettingsStore store = target;
  store.SetSection(kSection);
  return store.WriteDouble("L0", L0);
}

LambertOptions LambertOptions::preset(int lambertCase) {
  LambertOptions o;
  o.version = 1;
  switch (lambertCase) {
    case 1:  // Estonia, L-EST97
      o.north = {59, 20, 0.0};
      o.south = {58, 0, 0.0};
      o.meridian = {24, 0, 0.0};
      o.origin = {57, 31, 3.19415};
      o.falseEast = 500000.0;
      o.falseNorth = 6375000.0;
      break;
    case 2:  // Belgian Lambert 2005
      o.north = {51, 10, 0.0};
      o.south = {49, 50, 0.0};
      o.meridian = {4, 21, 33.177};
      o.origin = {50, 47, 52.134};
      o.falseEast = 150328.0;
      o.falseNorth = 166262.0;
      break;
    case 3:  // France, Lambert-93
      o.north = {49, 0, 0.0};
      o.south = {44, 0, 0.0};
      o.meridian = {3, 0, 0.0};
      o.origin = {46, 30, 0.0};
      o.falseEast = 700000.0;
      o.falseNorth = 6600000.0;
      break;
    default:
      break;
  }
  return o;
}

void LambertOptions::load(const SettingsStore& source) {
  SettingsStore store = source;
  const bool inFile = openSection(store, kSection);
  loadDms(store, inFile, "BNord", north);
  loadDms(store, inFile, "BSued", south);
  loadDms(store, inFile, "L0", meridian);
  loadDms(store, inFile, "B0", origin);
  LoadOption(store, inFile, "FalseNorth", falseNorth);
  LoadOption(store, inFile, "FalseEast", falseEast);
  LoadOption(store, inFile, "Version", version);
}

bool LambertOptions::save(const SettingsStore& target) const {
  SettingsStore store = target;
  store.SetSection(kSection);
  bool ok = saveDms(store, "BNord", north);
  ok = saveDms(store, "BSued", south) && ok;
  ok = saveDms(store, "L0", meridian) && ok;
  ok = saveDms(store, "B0", origin) && ok;
  ok = store.WriteDouble("FalseNorth", falseNorth) && ok;
  ok = store.WriteDouble("FalseEast", falseEast) && ok;
  ok = store.WriteInt("Version", version) && ok;
  return ok;
}

SoldnerOptions SoldnerOptions::baden() {
  SoldnerOptions o;
  o.origin = {49, 29, 11.0};
  o.meridian = {26, 7, 35.8};
  return o;
}

void SoldnerOptions::load(const SettingsStore& source) {
  SettingsStore store = source;
  const bool inFile = openSection(store, kSection);
  loadDms(store, inFile, "B0", origin);
  loadDms(store, inFile, "L0", meridian);
  LoadOption(store, inFile, "FalseEast", falseEast);
  LoadOption(store, inFile, "FalseNorth", falseNorth);
}

bool SoldnerOptions::save(const SettingsStore& target) const {
  SettingsStore store = target;
  store.SetSection(kSection);
  bool ok = saveDms(store, "B0", origin);
  ok = saveDms(store, "L0", meridian) && ok;
  ok = store.WriteDouble("FalseEast", falseEast) && ok;
  ok = store.WriteDouble("FalseNorth", falseNorth) && ok;
  return ok;
}

}  // namespace pelmar
