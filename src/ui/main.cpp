#include <QApplication>
#include <QDir>
#include <QTabWidget>

#include <clocale>

#include "app/ProgramDirectory.h"
#include "app/StartUp.h"
#include "ui/AboutDialog.h"
#include "ui/EllipsoidDialog.h"
#include "ui/EstimationOptionsDialog2D.h"
#include "ui/EstimationOptionsDialog3D.h"
#include "ui/EstimationOptionsDialog3DBL.h"
#include "ui/MainDialog.h"
#include "ui/ProjectionDialogs.h"
#include "ui/SettingsPage.h"
#include "ui/MessageBoxes.h"
#include "ui/UiText.h"

namespace {

// pelmar --screenshots DIR: renders every tab into DIR/tab<N>.png and ends
// (for scripts/screenshot.sh).
int writeScreenshots(pelmar::ui::MainDialog& window, const QString& directory) {
  QDir().mkpath(directory);
  window.show();
  for (int i = 0; i < window.tabs()->count(); ++i) {
    window.tabs()->setCurrentIndex(i);
    QApplication::processEvents();
    if (!window.grab().save(QDir(directory).filePath(QStringLiteral("tab%1.png").arg(i)))) return 1;
  }
  // The dialogs, as they open.
  const pelmar::SettingsStore store = window.settingsPage()->settingsStore();
  pelmar::ui::AboutDialog about(&window);
  pelmar::ui::EllipsoidDialog ellipsoid(&window);
  pelmar::ui::EstimationOptionsDialog2D plane(store, &window);
  pelmar::ui::EstimationOptionsDialog3D spatial(store, false, &window);
  pelmar::ui::EstimationOptionsDialog3DBL ellipsoidal(store, window.settingsPage()->ellipsoids(), false, &window);
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
    return writeScreenshots(window, arguments[i + 1]);
  }
  window.show();
  return app.exec();
}
