#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QSvgRenderer>
#include <QDir>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTabWidget>

#include <clocale>
#include <fstream>

#include "app/ProgramDirectory.h"
#include "app/StartUp.h"
#include "app/StringIds.h"
#include "stored/TransformationDatabase.h"
#include "ui/AboutDialog.h"
#include "ui/ConversionPage.h"
#include "ui/DialogGallery.h"
#include "ui/DialogParts.h"
#include "ui/EllipsoidDialog.h"
#include "ui/EstimationPage.h"
#include "ui/EstimationOptionsDialog2D.h"
#include "ui/EstimationOptionsDialog3D.h"
#include "ui/EstimationOptionsDialog3DBL.h"
#include "ui/FileViewer.h"
#include "ui/MainDialog.h"
#include "ui/ParameterSetDialog.h"
#include "ui/ProgressDialog.h"
#include "ui/ProjectionDialogs.h"
#include "ui/ResidualPlotView.h"
#include "ui/ResultDialog.h"
#include "ui/SettingsPage.h"
#include "ui/StoredTransformationsPage.h"
#include "ui/MessageBoxes.h"
#include "ui/UiText.h"

namespace {

// The worked examples of the manual: a plane network with a gross error in
// point 105 (4.6 cm), and a spatial one with a 6 cm height error in N5.
constexpr const char* kPlaneSource =
    "# Gauss-Krueger, zone 3: name  Y (east)  X (north)\n"
    "101       3580112.431    5810234.118\n"
    "102       3582455.902    5811876.340\n"
    "103       3584120.775    5809903.261\n"
    "104       3581530.084    5807815.993\n"
    "105       3583377.610    5808512.447\n"
    "106       3579850.219    5812104.882\n"
    "107       3585012.338    5811540.106\n"
    "108       3582004.671    5810011.559\n"
    "201       3581240.500    5809120.250\n"
    "202       3583900.125    5810777.875\n";
constexpr const char* kPlaneTarget =
    "# the same points in the target system\n"
    "101       3578899.363    5812665.150\n"
    "102       3581242.857    5814307.398\n"
    "103       3582907.755    5812334.301\n"
    "104       3580317.048    5810247.000\n"
    "105       3582164.636    5810943.451\n"
    "106       3578637.143    5814535.934\n"
    "107       3583799.320    5813971.174\n"
    "108       3580791.630    5812442.595\n";
constexpr const char* kSpatialSource =
    "# DHDN cartesian: name X Y Z (metres)\n"
    "N1      3849248.976     720332.598    5016732.187\n"
    "N2      3840271.002     705701.553    5025656.798\n"
    "N3      3854159.097     737604.714    5010500.987\n"
    "N4      3828272.008     728315.504    5031494.528\n"
    "N5      3839119.956     742780.014    5021240.828\n"
    "N6      3864019.271     707890.657    5007284.700\n"
    "N7      3836105.263     718974.823    5026893.496\n";
constexpr const char* kSpatialTarget =
    "# ETRS89 cartesian: name X Y Z (metres)\n"
    "N1      3849882.188     720360.804    5017184.925\n"
    "N2      3840903.940     705729.730    5026109.553\n"
    "N3      3854792.601     737633.028    5010953.751\n"
    "N4      3828905.191     728344.009    5031947.463\n"
    "N5      3839753.471     742808.545    5021693.787\n"
    "N6      3864652.417     707918.593    5007737.276\n"
    "N7      3836738.374     719003.165    5027346.333\n";

// Runs entry `entry` of the estimation page by least squares on the two
// example files, in `folder`; false when it did not succeed.
bool runExample(pelmar::ui::EstimationPage* page, int entry, const QString& folder, const char* source,
                const char* target, const QString& stem) {
  auto file = [&](const QString& name, const char* content) {
    const QString path = QDir(folder).filePath(name);
    std::ofstream(path.toStdString(), std::ios::binary) << content;
    return path;
  };
  page->setOptionsPrompt([](const pelmar::SettingsStore&) {
    pelmar::EstimationOptions2D options;
    options.type = 1;
    return std::optional<pelmar::EstimationOptions2D>(options);
  });
  page->setOptionsPrompt3D([](const pelmar::SettingsStore&, pelmar::SpatialModel) {
    pelmar::EstimationOptions3D options;
    options.type = 1;
    options.typeLinearised = 1;
    return std::optional<pelmar::EstimationOptions3D>(options);
  });
  page->list()->setCurrentItem(page->list()->topLevelItem(entry));
  page->sourceEdit()->setText(file(stem + QStringLiteral("-source.txt"), source));
  page->targetEdit()->setText(file(stem + QStringLiteral("-target.txt"), target));
  page->reportEdit()->setText(QDir(folder).filePath(stem + QStringLiteral(".aus")));
  page->outputEdit()->setText(QDir(folder).filePath(stem + QStringLiteral("-out.txt")));
  return page->compute();
}

// The plot the page shows, drawn at its own size on white.
bool savePlot(const pelmar::ui::ResidualPlotView* view, const QString& path) {
  QSvgRenderer renderer(view->svg());
  if (!renderer.isValid()) return false;
  QImage image(renderer.defaultSize() * 2, QImage::Format_ARGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  painter.end();
  return image.save(path);
}

// pelmar --screenshots DIR: renders every tab into DIR/tab<N>.png and ends
// (for scripts/screenshot.sh).
int writeScreenshots(pelmar::ui::MainDialog& window, const pelmar::StartUpState& state, const QString& directory) {
  QDir().mkpath(directory);
  // The stored-transformations page shows sets of a scratch file: the
  // program directory's own file stays as it is.
  QTemporaryDir scratch;
  const pelmar::TransformationDatabase::SetList sets = pelmar::ui::sampleSets(window.settingsPage()->ellipsoids());
  const std::filesystem::path setFile = std::filesystem::path(scratch.path().toStdString()) / "Transformation.db";
  std::ofstream(setFile, std::ios::binary) << pelmar::TransformationDatabase::Encode(sets);
  window.storedPage()->openDatabase(setFile);
  window.storedPage()->list()->topLevelItem(0)->setSelected(true);
  // The estimation page shows the plot of a run: the plane example first
  // (its plot saved on its own), then the spatial one, which stays on the page.
  pelmar::ui::EstimationPage* estimation = window.estimationPage();
  if (!runExample(estimation, 0, scratch.path(), kPlaneSource, kPlaneTarget, QStringLiteral("plane")) ||
      !savePlot(estimation->plotView(), QDir(directory).filePath(QStringLiteral("plot-plane.png"))) ||
      !runExample(estimation, 2, scratch.path(), kSpatialSource, kSpatialTarget, QStringLiteral("helmert")) ||
      !savePlot(estimation->plotView(), QDir(directory).filePath(QStringLiteral("plot-spatial.png")))) {
    return 1;
  }
  window.show();
  for (int i = 0; i < window.tabs()->count(); ++i) {
    window.tabs()->setCurrentIndex(i);
    QApplication::processEvents();
    if (!window.grab().save(QDir(directory).filePath(QStringLiteral("tab%1.png").arg(i)))) return 1;
  }
  // The dialogs, as they open, and the plot in its own window.
  const std::vector<pelmar::ui::GalleryItem> gallery =
      pelmar::ui::dialogGallery(window, state, sets, std::filesystem::path(scratch.path().toStdString()));
  for (const pelmar::ui::GalleryItem& item : gallery) {
    item.widget->show();
    QApplication::processEvents();
    if (!item.widget->grab().save(QDir(directory).filePath(QStringLiteral("dialog-%1.png").arg(item.name)))) return 1;
    item.widget->hide();
  }
  if (pelmar::ui::ResidualPlotView* plot = estimation->openPlotWindow()) {
    QApplication::processEvents();
    const bool saved = plot->window()->grab().save(QDir(directory).filePath(QStringLiteral("window-plot.png")));
    plot->window()->close();
    if (!saved) return 1;
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
  pelmar::ui::loadQtTranslations(state.languages.currentCode());

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
