#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTabWidget>

#include <clocale>
#include <fstream>

#include "app/ProgramDirectory.h"
#include "app/StartUp.h"
#include "stored/TransformationDatabase.h"
#include "ui/AboutDialog.h"
#include "ui/EllipsoidDialog.h"
#include "ui/EstimationOptionsDialog2D.h"
#include "ui/EstimationOptionsDialog3D.h"
#include "ui/EstimationOptionsDialog3DBL.h"
#include "ui/MainDialog.h"
#include "ui/ParameterSetDialog.h"
#include "ui/ProjectionDialogs.h"
#include "ui/SettingsPage.h"
#include "ui/StoredTransformationsPage.h"
#include "ui/MessageBoxes.h"
#include "ui/UiText.h"

namespace {

// Two sets for the stored-transformations page: a spatial one of a centred
// run and an ellipsoidal one.
pelmar::TransformationDatabase::SetList sampleSets(const pelmar::EllipsoidList& ellipsoids) {
  pelmar::TransformationSet spatial;
  spatial.type = 0;
  spatial.name = "DHDN - ETRS89 Niedersachsen";
  spatial.description = "12 identical points, least squares";
  spatial.rotation = {0.0003921, -0.0000413, 0.0007215};
  spatial.translation = {582.132, 105.418, 414.207};
  spatial.scale = 1.0000083;
  spatial.auxiliary = {3866125.3, 707223.9, 5007458.1, 3865542.6, 707117.1, 5007043.4};
  pelmar::TransformationSet ellipsoidal;
  ellipsoidal.type = 2;
  ellipsoidal.name = "Bessel - GRS80 Braunschweig";
  ellipsoidal.description = "Ellipsoidal estimation, 7 points";
  ellipsoidal.rotation = {-0.0004275, 0.0001106, -0.0008321};
  ellipsoidal.translation = {14.127, -3.381, 2.914};
  ellipsoidal.scale = 0.9999921;
  ellipsoidal.preTranslation = {-596.0, -72.0, -414.0};
  if (ellipsoids.size() >= 2) {
    ellipsoidal.sourceEllipsoid = ellipsoids[0];
    ellipsoidal.targetEllipsoid = ellipsoids[1];
  }
  return {spatial, ellipsoidal};
}

// pelmar --screenshots DIR: renders every tab into DIR/tab<N>.png and ends
// (for scripts/screenshot.sh).
int writeScreenshots(pelmar::ui::MainDialog& window, const pelmar::StartUpState& state, const QString& directory) {
  QDir().mkpath(directory);
  // The stored-transformations page shows sets of a scratch file: the
  // program directory's own file stays as it is.
  QTemporaryDir scratch;
  const pelmar::TransformationDatabase::SetList sets = sampleSets(window.settingsPage()->ellipsoids());
  const std::filesystem::path setFile = std::filesystem::path(scratch.path().toStdString()) / "Transformation.db";
  std::ofstream(setFile, std::ios::binary) << pelmar::TransformationDatabase::Encode(sets);
  window.storedPage()->openDatabase(setFile);
  window.storedPage()->list()->topLevelItem(0)->setSelected(true);
  window.show();
  for (int i = 0; i < window.tabs()->count(); ++i) {
    window.tabs()->setCurrentIndex(i);
    QApplication::processEvents();
    if (!window.grab().save(QDir(directory).filePath(QStringLiteral("tab%1.png").arg(i)))) return 1;
  }
  // The dialogs, as they open.
  const pelmar::SettingsStore store = window.settingsPage()->settingsStore();
  pelmar::ui::AboutDialog about(state.home, state.userFiles(), &window);
  pelmar::ui::EllipsoidDialog ellipsoid(&window);
  pelmar::ui::EstimationOptionsDialog2D plane(store, &window);
  pelmar::ui::EstimationOptionsDialog3D spatial(store, true, &window);
  pelmar::ui::EstimationOptionsDialog3DBL ellipsoidal(store, window.settingsPage()->ellipsoids(), true, &window);
  pelmar::ui::ParameterSetDialog parameterSet(sets[1], window.settingsPage()->ellipsoids(), sets,
                                             pelmar::str::SetDialogTitle, &window);
  pelmar::ui::CentralMeridianDialog meridian(store, {}, &window);
  pelmar::ui::AustrianMeridianDialog austria(store, {}, &window);
  pelmar::ui::MercatorDialog mercator(store, {}, &window);
  pelmar::ui::LambertDialog lambert(store, {}, 0, &window);
  pelmar::ui::LambertDialog belgium(store, {}, 2, &window);
  pelmar::ui::SoldnerDialog soldner(store, {}, false, false, &window);
  pelmar::ui::SoldnerDialog baden(store, {}, true, false, &window);
  const std::pair<QDialog*, const char*> dialogs[] = {
      {&about, "about"},
      {&ellipsoid, "ellipsoid"},
      {&plane, "options-plane"},
      {&spatial, "options-spatial"},
      {&ellipsoidal, "options-ellipsoidal"},
      {&parameterSet, "parameter-set"},
      {&meridian, "central-meridian"},
      {&austria, "austria"},
      {&mercator, "mercator"},
      {&lambert, "lambert"},
      {&belgium, "lambert-belgium"},
      {&soldner, "soldner"},
      {&baden, "soldner-baden"}};
  for (const auto& [dialog, name] : dialogs) {
    dialog->show();
    QApplication::processEvents();
    if (!dialog->grab().save(QDir(directory).filePath(QStringLiteral("dialog-%1.png").arg(name)))) return 1;
    dialog->hide();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // QApplication takes the locale from the environment; files and reports are
  // written with a decimal point whatever the user's language.
  std::setlocale(LC_NUMERIC, "C");

  pelmar::StartUpState state;
  if (!pelmar::StartUp(pelmar::programDirectory(), state)) {
    if (!state.errorDetail.empty()) std::fprintf(stderr, "pelmar: %s\n", state.errorDetail.c_str());
    pelmar::ui::showError(nullptr, QString::fromStdString(state.errorText));
    return 1;
  }
  pelmar::ui::setLanguageTable(&state.table);

  pelmar::ui::MainDialog window(state);
  // Without its ellipsoid list the program cannot work: it has said so and ends.
  if (!window.startedCleanly()) return 1;

  const QStringList arguments = QApplication::arguments();
  if (const qsizetype i = arguments.indexOf(QStringLiteral("--screenshots")); i >= 0 && i + 1 < arguments.size()) {
    return writeScreenshots(window, state, arguments[i + 1]);
  }
  window.show();
  return app.exec();
}
