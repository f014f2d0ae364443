// The settings file as every job and dialog reads it.
#include "FuzzSupport.h"
#include "app/LanguageConfiguration.h"
#include "app/SettingsStore.h"
#include "conversion/ProjectionOptions.h"
#include "estimation/EllipsoidalEstimation.h"
#include "estimation/SpatialEstimation.h"
#include "settings/GeneralSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmar;
  fuzz::MemoryFile file(data, size);
  SettingsStore store;
  store.SetFile(file.path());
  GeneralSettings general;
  general.load(store);
  CentralMeridianOptions().load(store);
  AustrianMeridianOptions().load(store);
  LambertOptions().load(store);
  SoldnerOptions().load(store);
  MercatorOptions().load(store);
  EstimationOptions2D().load(store);
  EstimationOptions3D().load(store);
  EstimationOptions3DBL().load(store);
  LanguageConfiguration languages(file.path());
  languages.ReadLanguageSettings();
  languages.LanguageCodeForName("Deutsch");
  return 0;
}
