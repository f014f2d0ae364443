#include "ui/DialogGallery.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

#include <fstream>

#include "app/StartUp.h"
#include "app/StringIds.h"
#include "ui/AboutDialog.h"
#include "ui/ConversionPage.h"
#include "ui/DialogParts.h"
#include "ui/EllipsoidDialog.h"
#include "ui/EstimationOptionsDialog2D.h"
#include "ui/EstimationOptionsDialog3D.h"
#include "ui/EstimationOptionsDialog3DBL.h"
#include "ui/FileViewer.h"
#include "ui/MainDialog.h"
#include "ui/MessageBoxes.h"
#include "ui/ParameterSetDialog.h"
#include "ui/ProgressDialog.h"
#include "ui/ProjectionDialogs.h"
#include "ui/ResultDialog.h"
#include "ui/SettingsPage.h"
#include "ui/UiText.h"

namespace pelmar::ui {

TransformationDatabase::SetList sampleSets(const EllipsoidList& ellipsoids) {
  TransformationSet spatial;
  spatial.type = 0;
  spatial.name = "DHDN - ETRS89 Niedersachsen";
  spatial.description = "12 identical points, least squares";
  spatial.rotation = {0.0003921, -0.0000413, 0.0007215};
  spatial.translation = {582.132, 105.418, 414.207};
  spatial.scale = 1.0000083;
  spatial.auxiliary = {3866125.3, 707223.9, 5007458.1, 3865542.6, 707117.1, 5007043.4};
  TransformationSet ellipsoidal;
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

std::vector<GalleryItem> dialogGallery(MainDialog& window, const StartUpState& state,
                                       const TransformationDatabase::SetList& sets,
                                       const std::filesystem::path& scratch) {
  MainDialog* const parent = &window;
  std::vector<GalleryItem> items;
  auto add = [&items](auto dialog, const char* name) {
    auto* raw = dialog.get();
    items.push_back({std::move(dialog), QString::fromLatin1(name)});
    return raw;
  };
  const SettingsStore store = window.settingsPage()->settingsStore();
  const EllipsoidList& ellipsoids = window.settingsPage()->ellipsoids();

  // The end of a run, the built-in viewer, the progress window and the
  // question before unsaved settings are left.
  RunOutcome outcome;
  outcome.written = {QStringLiteral("/home/survey/2024-17/report.aus"), QStringLiteral("/home/survey/2024-17/points.txt"),
                     QStringLiteral("/home/survey/2024-17/report.svg")};
  outcome.firstIsReport = true;
  outcome.pointsWritten = 1248;
  outcome.pointsLeftOut = 2;
  outcome.linesUnreadable = 1;
  outcome.grossErrors = 1;
  add(std::make_unique<ResultDialog>(uiText(str::EstimationDone) + "\n\n" + outcomeText(outcome), outcome, parent),
      "result");
  const std::filesystem::path sample = scratch / "report.aus";
  std::ofstream(sample, std::ios::binary)
      << "  Pelmar  Parameter estimation\n\n"
         "          Point              Y              X\n"
         "=============================================\n"
         "             P1  3500123.45610  5400234.56720\n"
         "             P7  3501876.12340  5402345.67810\n"
         "             P9  3503210.98760  5401987.65430\n\n"
         "  Rotation = 0\xB0 00' 12.3456\"\n";
  auto* viewer = add(std::make_unique<FileViewer>(QString::fromStdString(sample.string()), parent), "viewer");
  viewer->findEdit()->setText(QStringLiteral("P7"));
  viewer->findNext();
  viewer->resize(640, 360);
  auto* progress = add(std::make_unique<ProgressDialog>(parent), "progress");
  progress->setLines(uiText(str::PhaseAdjusting),
                     QString::fromStdString(languageTable().format(str::ProgressL1Pass, {17})));
  progress->setPermille(420);
  add(saveQuestionBox(parent, uiText(str::SaveSettingsQuestion)), "question-save");
  // Qt's own file dialog, as the program opens it where the desktop has none.
  auto files = std::make_unique<QFileDialog>(parent, uiText(str::TitleChooseInputFile), QString(),
                                             uiText(str::FilterPointFiles) + QStringLiteral(" (*.txt)"));
  files->setOption(QFileDialog::DontUseNativeDialog);
  add(std::move(files), "file-dialog");

  add(std::make_unique<AboutDialog>(state.home, state.userFiles(), parent), "about");
  add(std::make_unique<EllipsoidDialog>(parent), "ellipsoid");
  add(std::make_unique<EstimationOptionsDialog2D>(store, parent), "options-plane");
  add(std::make_unique<EstimationOptionsDialog3D>(store, true, SpatialModel::Rigorous, parent), "options-spatial");
  add(std::make_unique<EstimationOptionsDialog3DBL>(store, ellipsoids, true, parent), "options-ellipsoidal");
  // A spatial set (type 0) and an ellipsoidal one (type 2).
  for (const TransformationSet& set : sets) {
    const QByteArray name = "parameter-set-type" + QByteArray::number(set.type);
    add(std::make_unique<ParameterSetDialog>(set, ellipsoids, sets, str::SetDialogTitle, parent), name.constData());
  }
  // Each projection's options name the ellipsoid, as the conversion page opens them.
  auto projection = [&](std::unique_ptr<QDialog> dialog, int code, const char* name) {
    addEllipsoidLine(dialog.get(), window.conversionPage()->ellipsoidLine(*FindConversion(code)));
    add(std::move(dialog), name);
  };
  projection(std::make_unique<CentralMeridianDialog>(store, CentralMeridianOptions{}, parent), 1000, "central-meridian");
  projection(std::make_unique<AustrianMeridianDialog>(store, AustrianMeridianOptions{}, parent), 1010, "austria");
  projection(std::make_unique<MercatorDialog>(store, MercatorOptions{}, parent), 1006, "mercator");
  projection(std::make_unique<LambertDialog>(store, LambertOptions{}, 0, parent), 1002, "lambert");
  projection(std::make_unique<LambertDialog>(store, LambertOptions{}, 2, parent), 1004, "lambert-belgium");
  projection(std::make_unique<SoldnerDialog>(store, SoldnerOptions{}, false, false, parent), 1005, "soldner");
  projection(std::make_unique<SoldnerDialog>(store, SoldnerOptions{}, true, false, parent), 1014, "soldner-baden");
  return items;
}

}  // namespace pelmar::ui
