#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>

#include "app/StringIds.h"
#include "settings/EllipsoidDatabase.h"
#include "support/TestSupport.h"
#include "ui/ConversionPage.h"
#include "ui/EllipsoidDialog.h"
#include "ui/ProjectionDialogs.h"
#include "ui/EstimationOptionsDialog3D.h"
#include "ui/EstimationOptionsDialog3DBL.h"
#include "ui/EstimationPage.h"
#include "ui/FileViewer.h"
#include "ui/MainDialog.h"
#include "ui/MessageBoxes.h"
#include "ui/PageServices.h"
#include "ui/SettingsPage.h"
#include "ui/UiText.h"

namespace pelmar::ui {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

QApplication& application() {
  static int argc = 1;
  static char name[] = "test_ui";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

// A program directory with the shipped tables and Ellip.db; every message box
// is recorded and answered by `answer`.
class Gui : public ::testing::Test {
 protected:
  void SetUp() override {
    application();
    for (const char* name : {"PelmarGeneral.ini", "LangEN.lng", "LangDE.lng", "Ellip.db"}) {
      std::filesystem::copy_file(test::binDir() / name, home / name);
    }
    writeFile(home / "HeaderInfo.dat", "");
    test::linkPlugins(home.path());
    std::string error;
    ASSERT_TRUE(state.table.load(home / "LangEN.lng", error)) << error;
    state.home = home.path();
    state.languages = LanguageConfiguration(home / "PelmarGeneral.ini");
    state.languages.ReadLanguageSettings();
    setLanguageTable(&state.table);
    setDialogResponder([this](const QString& text, bool question) {
      (question ? questions : errors).push_back(text);
      return answer;
    });
  }
  void TearDown() override { setDialogResponder({}); }

  std::filesystem::path settingsFile() const { return userSettingsPathFor(home.path()); }
  static std::filesystem::path userSettingsPathFor(const std::filesystem::path& dir);

  QString text(int id, const QStringList& args = {}) const { return uiText(id, args); }

  TempDir home;
  StartUpState state;
  QStringList questions;
  QStringList errors;
  bool answer = true;
};

std::filesystem::path Gui::userSettingsPathFor(const std::filesystem::path& dir) {
  SettingsPage page(dir, LanguageConfiguration(dir / "PelmarGeneral.ini"));
  page.initialise();
  return page.settingsPath();
}

TEST_F(Gui, main_window_shows_six_tabs_with_their_captions) {
  MainDialog dialog(state);
  ASSERT_TRUE(dialog.startedCleanly());
  ASSERT_EQ(dialog.tabs()->count(), 6);
  const int captions[] = {221, 222, 223, 224, 225, 226};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(dialog.tabs()->tabText(i), text(captions[i]));
  EXPECT_EQ(dialog.windowTitle(), "Pelmar");
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(Gui, leaving_the_settings_page_with_edits_asks_once_and_entering_never) {
  MainDialog dialog(state);
  answer = false;
  dialog.tabs()->setCurrentIndex(MainDialog::kSettingsTab);
  EXPECT_TRUE(questions.isEmpty()) << "entering never asks";
  dialog.settingsPage()->geographicDecimals()->setValue(9);
  EXPECT_TRUE(dialog.settingsPage()->modified());
  dialog.tabs()->setCurrentIndex(0);
  ASSERT_EQ(questions.size(), 1);
  EXPECT_EQ(questions[0], text(str::SaveSettingsQuestion));
  dialog.tabs()->setCurrentIndex(2);
  EXPECT_EQ(questions.size(), 1) << "switching between other pages does not ask again";
  EXPECT_FALSE(std::filesystem::exists(settingsFile()) && readFile(settingsFile()).find("NachkommaGeog=9") !=
                                                                std::string::npos)
      << "No leaves the file unchanged";

  // Yes saves.
  answer = true;
  dialog.tabs()->setCurrentIndex(MainDialog::kSettingsTab);
  dialog.settingsPage()->geographicDecimals()->setValue(8);
  dialog.tabs()->setCurrentIndex(1);
  EXPECT_EQ(questions.size(), 2);
  EXPECT_NE(readFile(settingsFile()).find("NachkommaGeog=8"), std::string::npos);
  EXPECT_FALSE(dialog.settingsPage()->modified());
}

TEST_F(Gui, close_button_asks_about_unsaved_settings) {
  {
    MainDialog dialog(state);
    dialog.closeWithQuestion();
    EXPECT_TRUE(questions.isEmpty());
  }
  MainDialog dialog(state);
  dialog.settingsPage()->cartesianDecimals()->setValue(5);
  dialog.closeWithQuestion();
  EXPECT_EQ(questions.size(), 1);
  EXPECT_NE(readFile(settingsFile()).find("NachkommaKartesisch=5"), std::string::npos);
}

TEST_F(Gui, settings_without_a_file_keep_their_defaults_and_survive_a_restart) {
  {
    SettingsPage page(home.path(), state.languages);
    ASSERT_TRUE(page.initialise());
    const GeneralSettings& s = page.settings();
    EXPECT_EQ(s.decimalsGeographic, 6);
    EXPECT_EQ(s.decimalsCartesian, 3);
    EXPECT_EQ(s.formatUtm, 1);
    EXPECT_EQ(s.interpolationActive, 1);
    EXPECT_EQ(s.interpolationDistance, 5.0);
    EXPECT_EQ(s.editor, GeneralSettings::kDefaultEditor);
    page.geographicDecimals()->setValue(11);
    page.utmFormat()->setCurrentIndex(0);
    page.ellipsoidCombo()->setCurrentIndex(2);
    page.distanceEdit()->setText("7.123456");
    ASSERT_TRUE(page.save());
  }
  SettingsPage again(home.path(), state.languages);
  ASSERT_TRUE(again.initialise());
  EXPECT_EQ(again.settings().decimalsGeographic, 11);
  EXPECT_EQ(again.settings().formatUtm, 0);
  EXPECT_EQ(again.settings().ellipsoid, 2);
  EXPECT_EQ(again.ellipsoidCombo()->currentText(), "WGS84");
  // dsH keeps four decimals, truncated: the fifth is lost.
  EXPECT_DOUBLE_EQ(again.settings().interpolationDistance, 7.1234);
  EXPECT_NE(readFile(settingsFile()).find("dsH=71234"), std::string::npos);
}

TEST_F(Gui, a_file_without_the_interpolation_section_reads_zeros) {
  std::filesystem::create_directories(home / "config");
  writeFile(settingsFile(), "[GeneralSettings]\nNachkommaGeog=4\n");
  SettingsPage page(home.path(), state.languages);
  ASSERT_TRUE(page.initialise());
  EXPECT_EQ(page.settings().decimalsGeographic, 4);
  EXPECT_EQ(page.settings().decimalsCartesian, 0) << "a key missing from an existing file reads as 0";
  EXPECT_EQ(page.settings().editor, "");
  EXPECT_EQ(page.settings().interpolationActive, 0);
  EXPECT_EQ(page.settings().interpolationType, 0);
  EXPECT_EQ(page.settings().interpolationDistance, 0.0);
}

TEST_F(Gui, a_stored_ellipsoid_index_beyond_the_list_selects_the_first) {
  std::filesystem::create_directories(home / "config");
  writeFile(settingsFile(), "[GeneralSettings]\nEllip=8\n");
  SettingsPage page(home.path(), state.languages);
  ASSERT_TRUE(page.initialise());
  EXPECT_EQ(page.ellipsoidCombo()->currentIndex(), 0);
  EXPECT_EQ(page.ellipsoidCombo()->currentText(), "Bessel");
}

TEST_F(Gui, interpolation_controls_follow_the_switch_and_the_weighting) {
  SettingsPage page(home.path(), state.languages);
  ASSERT_TRUE(page.initialise());
  auto expectEnabled = [&](bool radios, bool distance) {
    EXPECT_EQ(page.weightingLabel()->isEnabled(), radios);
    for (int type = 0; type < 3; ++type) EXPECT_EQ(page.weightingButton(type)->isEnabled(), radios);
    EXPECT_EQ(page.distanceEdit()->isEnabled(), distance);
    EXPECT_EQ(page.distanceLabel()->isEnabled(), distance);
    EXPECT_EQ(page.distanceUnit()->isEnabled(), distance);
  };
  expectEnabled(true, false);
  EXPECT_TRUE(page.weightingButton(0)->isChecked());
  page.weightingButton(2)->click();
  expectEnabled(true, true);
  EXPECT_TRUE(page.modified());
  page.distributeCheck()->click();
  expectEnabled(false, false);
  EXPECT_TRUE(page.weightingButton(2)->isChecked());
  page.distributeCheck()->click();
  expectEnabled(true, true);
  page.weightingButton(1)->click();
  expectEnabled(true, false);
  EXPECT_EQ(page.settings().interpolationType, 1);
}

TEST_F(Gui, header_text_round_trips_through_its_file) {
  {
    SettingsPage page(home.path(), state.languages);
    ASSERT_TRUE(page.initialise());
    page.userHeaderCheck()->click();
    EXPECT_TRUE(page.editHeaderButton()->isEnabled());
  }
  const std::string header = "Vermessungsbüro 100% genau\n  Zeile 2\n";
  writeFile(home / "HeaderInfo.dat", "Vermessungsb\xFCro 100% genau\r\n  Zeile 2");
  SettingsPage page(home.path(), state.languages);
  ASSERT_TRUE(page.initialise());
  EXPECT_EQ(page.settings().headerText, "Vermessungsb\xFCro 100% genau\n  Zeile 2\n");
  ASSERT_TRUE(page.save());
  EXPECT_EQ(readFile(home / "HeaderInfo.dat"), "Vermessungsb\xFCro 100% genau\n  Zeile 2\n");
}

TEST_F(Gui, missing_header_file_is_reported_and_the_text_stays_empty) {
  std::filesystem::remove(home / "HeaderInfo.dat");
  SettingsPage page(home.path(), state.languages);
  ASSERT_TRUE(page.initialise());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0], text(str::FileNotOpened, {QString::fromStdString((home / "HeaderInfo.dat").string())}));
}

TEST_F(Gui, damaged_ellipsoid_file_ends_the_program_with_104_and_167) {
  MainDialog* dialog = nullptr;
  writeFile(home / "Ellip.db", std::string("\x02\x00\x00\x00\x06"
                                           "Bes",
                                           8));
  dialog = new MainDialog(state);
  EXPECT_FALSE(dialog->startedCleanly());
  ASSERT_EQ(errors.size(), 2);
  EXPECT_EQ(errors[0], text(str::EllipsoidFileFailed, {QString::fromStdString((home / "Ellip.db").string())}));
  EXPECT_EQ(errors[1], text(str::ProgramEnds));
  delete dialog;
}

TEST_F(Gui, ellipsoid_edits_survive_a_restart) {
  {
    SettingsPage page(home.path(), state.languages);
    ASSERT_TRUE(page.initialise());
    page.addEllipsoid({"Everest", 6377276.345, 6356075.413});
    EXPECT_EQ(page.ellipsoidCombo()->count(), 9);
    page.ellipsoidCombo()->setCurrentIndex(1);  // GRS80
    page.replaceEllipsoid({"GRS80x", 6378137.0, 6356752.0});
    EXPECT_TRUE(page.modified());
    page.ellipsoidCombo()->setCurrentIndex(0);
    answer = true;
    page.deleteEllipsoid();
    EXPECT_EQ(page.ellipsoidCombo()->currentIndex(), 0) << "deleting the first selects the new first";
    EXPECT_EQ(page.ellipsoidCombo()->currentText(), "GRS80x");
  }
  EllipsoidList stored;
  ASSERT_TRUE(ReadEllipsoidDatabase(home / "Ellip.db", stored));
  ASSERT_EQ(stored.size(), 8u);
  EXPECT_EQ(stored[0].name, "GRS80x");
  EXPECT_EQ(stored[0].b, 6356752.0);
  EXPECT_EQ(stored.back().name, "Everest");
}

TEST_F(Gui, deleting_with_no_answer_or_no_selection_changes_nothing) {
  SettingsPage page(home.path(), state.languages);
  ASSERT_TRUE(page.initialise());
  answer = false;
  page.deleteEllipsoid();
  EXPECT_EQ(page.ellipsoids().size(), 8u);
  page.ellipsoidCombo()->setCurrentIndex(-1);
  questions.clear();
  page.deleteEllipsoid();
  EXPECT_TRUE(questions.isEmpty());
}

TEST_F(Gui, ellipsoid_dialog_converts_its_second_parameter_and_refuses_an_empty_name) {
  EllipsoidDialog dialog;
  dialog.setEllipsoid({"Bessel", 6377397.155, 6356078.962818});
  const double f = (6377397.155 - 6356078.962818) / 6377397.155;
  dialog.secondKind()->setCurrentIndex(2);  // b -> f
  EXPECT_NEAR(dialog.secondEdit()->text().toDouble(), f, 1e-15);
  dialog.secondKind()->setCurrentIndex(1);  // f -> e²
  EXPECT_NEAR(dialog.secondEdit()->text().toDouble(), 1 - (1 - f) * (1 - f), 1e-15);
  dialog.secondKind()->setCurrentIndex(0);  // e² -> b
  EXPECT_NEAR(dialog.secondEdit()->text().toDouble(), 6356078.962818, 1e-5);

  dialog.secondKind()->setCurrentIndex(2);
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_NEAR(dialog.ellipsoid().b, 6356078.962818, 1e-5) << "OK returns b whatever the field shows";

  EllipsoidDialog empty;
  empty.semiMajorEdit()->setText("6378137");
  empty.accept();
  EXPECT_NE(empty.result(), QDialog::Accepted);
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0], text(str::EllipsoidNameMissing));
}

TEST_F(Gui, viewing_a_file_falls_back_to_the_desktop_opener_then_reports_216) {
  QStringList started;
  services::setLauncher([&](const QString& program, const QStringList& args) {
    started << program + " " + args.join(" ");
    return program == "xdg-open" && started.size() < 3;
  });
  services::viewFile(nullptr, "notepad.exe", "/tmp/a.txt");
  EXPECT_EQ(started, (QStringList{"notepad.exe /tmp/a.txt", "xdg-open /tmp/a.txt"}));
  EXPECT_TRUE(errors.isEmpty());
  services::viewFile(nullptr, "xdg-open", "/tmp/b.txt");
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0], text(str::EditorNotStarted));
  services::setLauncher(nullptr);
}

TEST_F(Gui, write_access_check_names_the_directory) {
  EXPECT_TRUE(services::checkWriteAccess(nullptr, QString::fromStdString((home / "out.aus").string())));
  EXPECT_FALSE(services::checkWriteAccess(nullptr, "/nonexistent/dir/out.aus"));
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0], text(str::NoWriteAccess, {"/nonexistent/dir"}));
}

TEST_F(Gui, settings_folder_that_cannot_be_made_is_reported_and_nothing_is_saved) {
  writeFile(home / "config", "a file where the folder should be");
  SettingsPage page(home.path(), state.languages);
  ASSERT_TRUE(page.initialise());
  EXPECT_TRUE(page.settingsPath().empty());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0], text(str::ConfigFolderFailed, {QString::fromStdString((home / "config").string())}));
  page.geographicDecimals()->setValue(2);
  EXPECT_TRUE(page.save());
  EXPECT_EQ(readFile(home / "config"), "a file where the folder should be");
}

TEST_F(Gui, choosing_another_language_records_it_and_offers_a_restart) {
  SettingsPage page(home.path(), state.languages);
  ASSERT_TRUE(page.initialise());
  ASSERT_EQ(page.languageCombo()->currentText(), "English");
  answer = false;
  const int german = page.languageCombo()->findText("Deutsch");
  ASSERT_GE(german, 0);
  page.languageCombo()->setCurrentIndex(german);
  emit page.languageCombo()->activated(german);
  ASSERT_EQ(questions.size(), 1);
  EXPECT_EQ(questions[0], text(str::RestartForLanguage));
  LanguageConfiguration stored(home / "PelmarGeneral.ini");
  stored.ReadLanguageSettings();
  EXPECT_EQ(stored.currentCode(), "DE");
}

TEST_F(Gui, file_viewer_shows_windows_1252_and_utf8_files) {
  writeFile(home / "ansi.txt", "P1 48\xB0 Gr\xF6\xDF" "e\n");
  writeFile(home / "utf8.txt", "P1 48° Größe\n");
  for (const char* name : {"ansi.txt", "utf8.txt"}) {
    FileViewer viewer(QString::fromStdString((home / name).string()));
    ASSERT_TRUE(viewer.loaded());
    EXPECT_EQ(viewer.text(), QString::fromUtf8("P1 48° Größe\n")) << name;
  }
  FileViewer missing(QString::fromStdString((home / "missing.txt").string()));
  EXPECT_FALSE(missing.loaded());
}

TEST_F(Gui, estimation_page_checks_its_fields_in_order_then_runs) {
  MainDialog dialog(state);
  EstimationPage* page = dialog.estimationPage();
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(page->list()->topLevelItemCount(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(page->list()->topLevelItem(i)->flags() & Qt::ItemIsEnabled);
  int prompts = 0;
  std::optional<EstimationOptions2D> options = EstimationOptions2D{};
  options->type = 1;
  page->setOptionsPrompt([&](const SettingsStore&) {
    ++prompts;
    return options;
  });

  EXPECT_FALSE(page->compute());
  page->list()->setCurrentItem(page->list()->topLevelItem(0));
  EXPECT_FALSE(page->compute());
  page->reportEdit()->setText(QString::fromStdString((home / "r.aus").string()));
  EXPECT_FALSE(page->compute());
  writeFile(home / "s.txt", "A 100 200\nB 300 400\nC 500 100\n");
  writeFile(home / "t.txt", "A 110 210\nB 310 410\nC 510 110\n");
  page->sourceEdit()->setText(QString::fromStdString((home / "s.txt").string()));
  EXPECT_FALSE(page->compute());
  EXPECT_EQ(errors, (QStringList{text(str::NoComputationChosen), text(str::NoReportName), text(str::NoSourceName),
                                 text(str::NoTargetName)}));
  EXPECT_EQ(prompts, 0);

  page->targetEdit()->setText(QString::fromStdString((home / "t.txt").string()));
  options.reset();  // the options dialog cancelled: nothing runs
  EXPECT_FALSE(page->compute());
  EXPECT_FALSE(std::filesystem::exists(home / "r.aus"));

  errors.clear();
  options = EstimationOptions2D{};
  EXPECT_TRUE(page->compute());
  EXPECT_EQ(errors, QStringList{text(str::EstimationDone)});
  EXPECT_TRUE(std::filesystem::exists(home / "r.aus"));

  errors.clear();
  page->targetEdit()->setText(QString::fromStdString((home / "missing.txt").string()));
  EXPECT_FALSE(page->compute());
  EXPECT_EQ(errors, (QStringList{text(str::TargetUnreadable, {QString::fromStdString((home / "missing.txt").string())}),
                                 text(str::EstimationFailed)}));
}

TEST_F(Gui, spatial_entries_run_with_their_own_options) {
  MainDialog dialog(state);
  EstimationPage* page = dialog.estimationPage();
  std::optional<EstimationOptions3D> options = EstimationOptions3D{};
  page->setOptionsPrompt3D([&](const SettingsStore&) { return options; });
  page->setOptionsPrompt([](const SettingsStore&) -> std::optional<EstimationOptions2D> {
    ADD_FAILURE() << "the plane options belong to entries 0 and 1";
    return std::nullopt;
  });
  const auto reference = test::sourceDir() / "tests" / "reference";
  page->reportEdit()->setText(QString::fromStdString((home / "r3.aus").string()));
  page->sourceEdit()->setText(QString::fromStdString((reference / "helmert-source.txt").string()));
  page->targetEdit()->setText(QString::fromStdString((reference / "helmert-target-pv.txt").string()));
  for (int entry : {2, 3}) {
    errors.clear();
    page->list()->setCurrentItem(page->list()->topLevelItem(entry));
    EXPECT_TRUE(page->compute());
    EXPECT_EQ(errors, QStringList{text(str::EstimationDone)});
    EXPECT_EQ(page->lastSet().type, entry - 2);
  }
}

TEST_F(Gui, spatial_options_dialog_loads_and_stores_its_section) {
  std::filesystem::create_directories(home / "config");
  SettingsStore store;
  store.SetFile(home / "config" / "u.ini");
  writeFile(home / "config" / "u.ini", "[HelmertTrafo3D]\nScale=1\nType=1\n");
  EstimationOptionsDialog3D dialog(store, false);
  EXPECT_TRUE(dialog.check("Scale")->isChecked());
  EXPECT_FALSE(dialog.check("Rotations")->isChecked()) << "a key missing from an existing section reads 0";
  EXPECT_FALSE(dialog.check("SaveParams")->isEnabled());
  dialog.check("Center")->setChecked(true);
  dialog.accept();
  EstimationOptions3D stored;
  stored.load(store);
  EXPECT_EQ(stored.center, 1);
  EXPECT_EQ(stored.type, 1);
  EXPECT_EQ(stored.rotations, 0);
}

// The ellipsoidal options dialog on its own settings file.
class EllipsoidalOptions : public Gui {
 protected:
  void SetUp() override {
    Gui::SetUp();
    std::filesystem::create_directories(home / "config");
    store.SetFile(home / "config" / "u.ini");
  }
  EllipsoidList ellipsoids{{"Bessel", 6377397.155, 6356078.962818},
                           {"Kr\xE4ssowski", 6378245.0, 6356863.018773},
                           {"GRS80", 6378137.0, 6356752.314140}};
  SettingsStore store;
};

TEST_F(EllipsoidalOptions, ellipsoid_combos_start_with_no_ellipsoid_and_ignore_an_index_beyond_the_list) {
  writeFile(home / "config" / "u.ini",
            "[HelmertTrafo3DBL]\nEllipSrc=2\nEllipTarget=4\ntx=-596.12345678901234\n");
  EstimationOptionsDialog3DBL dialog(store, ellipsoids, false);
  for (const char* key : {"EllipSrc", "EllipTarget"}) {
    const QComboBox* combo = dialog.combo(key);
    ASSERT_EQ(combo->count(), 4) << key;
    EXPECT_EQ(combo->itemText(0), text(str::NoEllipsoid)) << key;
    EXPECT_EQ(combo->itemText(2), QString::fromUtf8("Krässowski")) << key << ": names are Windows-1252";
  }
  EXPECT_EQ(dialog.combo("EllipSrc")->currentIndex(), 2);
  EXPECT_EQ(dialog.sourceEllipsoid().a, 6378245.0);
  EXPECT_EQ(dialog.combo("EllipTarget")->currentIndex(), 0) << "index 4 is beyond the three ellipsoids";
  EXPECT_EQ(dialog.targetEllipsoid().name, "");
  EXPECT_EQ(dialog.edit("tx")->text(), "-596.123456789012") << "15 significant digits";
}

TEST_F(EllipsoidalOptions, switches_enable_the_controls_that_depend_on_them) {
  EstimationOptionsDialog3DBL dialog(store, ellipsoids, true);  // no section: the defaults, all switches on
  auto enabled = [&](const char* key) {
    const bool edit = dialog.edit(key)->isEnabled();
    EXPECT_EQ(dialog.label(key)->isEnabled(), edit) << key << ": label and edit go together";
    return edit;
  };
  EXPECT_TRUE(enabled("tx") && enabled("ty") && enabled("tz") && enabled("sTrans"));
  EXPECT_TRUE(dialog.check("Vorinfo")->isEnabled());

  dialog.check("Vortrafo")->setChecked(false);
  EXPECT_FALSE(enabled("tx") || enabled("ty") || enabled("tz") || enabled("sTrans"));
  EXPECT_FALSE(dialog.check("Vorinfo")->isEnabled());
  EXPECT_TRUE(enabled("s0")) << "the standard deviations never depend on the switches";

  dialog.check("Vortrafo")->setChecked(true);
  dialog.check("Translations")->setChecked(false);
  EXPECT_TRUE(enabled("tx"));
  EXPECT_FALSE(dialog.check("Vorinfo")->isEnabled());
  EXPECT_FALSE(enabled("sTrans"));

  dialog.check("Translations")->setChecked(true);
  dialog.check("Vorinfo")->setChecked(false);
  EXPECT_TRUE(dialog.check("Vorinfo")->isEnabled());
  EXPECT_FALSE(enabled("sTrans"));

  dialog.check("Scale")->setChecked(false);
  EXPECT_FALSE(dialog.scaleKindButton(1)->isEnabled() || dialog.scaleKindButton(2)->isEnabled());
  dialog.check("Scale")->setChecked(true);
  EXPECT_TRUE(dialog.scaleKindButton(1)->isEnabled() && dialog.scaleKindButton(2)->isEnabled());
}

TEST_F(EllipsoidalOptions, two_scales_withdraw_storing_the_set) {
  EstimationOptionsDialog3DBL dialog(store, ellipsoids, true);
  QCheckBox* save = dialog.check("SaveParams");
  QCheckBox* points = dialog.check("SavePPInfo");
  ASSERT_TRUE(save->isEnabled());
  EXPECT_FALSE(points->isEnabled()) << "the points are stored only with the set";
  save->setChecked(true);
  EXPECT_TRUE(points->isEnabled());

  dialog.scaleKindButton(2)->setChecked(true);
  EXPECT_FALSE(save->isChecked());
  EXPECT_FALSE(save->isEnabled());
  EXPECT_FALSE(points->isEnabled());
  dialog.scaleKindButton(1)->setChecked(true);
  EXPECT_TRUE(save->isEnabled());
  EXPECT_FALSE(save->isChecked()) << "re-enabling does not check it again";

  writeFile(home / "config" / "u.ini", "[HelmertTrafo3DBL]\nScale=1\nScaleType=1\nSaveParams=1\n");
  EstimationOptionsDialog3DBL loaded(store, ellipsoids, true);
  EXPECT_FALSE(loaded.check("SaveParams")->isChecked()) << "the rule holds when the dialog opens";
  EstimationOptionsDialog3DBL unavailable(store, ellipsoids, false);
  unavailable.scaleKindButton(1)->setChecked(true);
  EXPECT_FALSE(unavailable.check("SaveParams")->isEnabled());
  EXPECT_FALSE(unavailable.check("SavePPInfo")->isEnabled());
}

TEST_F(EllipsoidalOptions, ok_needs_both_ellipsoids_and_usable_numbers_then_stores_the_section) {
  EstimationOptionsDialog3DBL dialog(store, ellipsoids, false);
  auto acceptExpecting = [&](const QString& message) {
    errors.clear();
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted) << message.toStdString();
    EXPECT_EQ(errors, QStringList{message});
    EXPECT_FALSE(std::filesystem::exists(home / "config" / "u.ini")) << "nothing is stored before OK succeeds";
  };
  acceptExpecting(text(str::SourceEllipsoidMissing));
  dialog.combo("EllipSrc")->setCurrentIndex(3);
  acceptExpecting(text(str::TargetEllipsoidMissing));
  dialog.combo("EllipTarget")->setCurrentIndex(1);
  dialog.edit("s0")->setText("0");
  acceptExpecting(text(str::PositiveNumberNeeded, {"Unit weight s0"}));
  dialog.edit("s0")->setText("0.02");
  dialog.edit("sHeight")->setText("0.01 m");
  acceptExpecting(text(str::PositiveNumberNeeded, {"Target heights [m]"}));
  dialog.edit("sHeight")->setText("0.03");
  dialog.edit("ty")->setText("2e7");
  acceptExpecting(text(str::NumberInRangeNeeded, {"ty [m]"}));
  dialog.edit("ty")->setText("-72.5");

  // A field that is switched off cannot be corrected: it takes its default.
  dialog.check("Vorinfo")->setChecked(false);
  dialog.edit("sTrans")->setText("0");
  dialog.scaleKindButton(2)->setChecked(true);
  errors.clear();
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
  EXPECT_EQ(dialog.sourceEllipsoid().name, "GRS80");
  EXPECT_EQ(dialog.targetEllipsoid().name, "Bessel");

  const std::string file = readFile(home / "config" / "u.ini");
  EXPECT_NE(file.find("ScaleType=1"), std::string::npos) << file;
  EstimationOptions3DBL stored;
  stored.load(store);
  EXPECT_EQ(stored.ellipsoidSource, 3);
  EXPECT_EQ(stored.ellipsoidTarget, 1);
  EXPECT_EQ(stored.scaleKindSetting(), 2);
  EXPECT_EQ(stored.s0, 0.02);
  EXPECT_EQ(stored.sHeightTarget, 0.03);
  EXPECT_EQ(stored.ty, -72.5);
  EXPECT_EQ(stored.prior, 0);
  EXPECT_EQ(stored.sTrans, EstimationOptions3DBL{}.sTrans);
  EXPECT_EQ(stored.invalidKey(), nullptr);
}

// Points near Brunswick on Bessel; the targets are shifted by a few metres.
void writeEllipsoidalPoints(const std::filesystem::path& source, const std::filesystem::path& target) {
  const struct {
    const char* name;
    double B, L, h;
  } points[] = {{"P1", 52.10, 10.20, 80.0},  {"P2", 52.35, 10.65, 120.5}, {"P3", 51.95, 10.85, 95.2},
                {"P4", 52.50, 10.05, 60.1},  {"P5", 52.20, 11.10, 140.7}, {"P6", 51.80, 10.40, 210.3},
                {"P7", 52.05, 10.60, 101.0}};
  std::string sourceText, targetText = "/3D\n";
  char line[128];
  for (const auto& p : points) {
    std::snprintf(line, sizeof line, "%s %.9f %.9f %.4f\n", p.name, p.B, p.L, p.h);
    sourceText += line;
    // About 4 m north, 3 m east, 2.5 m up.
    std::snprintf(line, sizeof line, "%s %.9f %.9f %.4f\n", p.name, p.B + 0.000036, p.L + 0.000044, p.h + 2.5);
    targetText += line;
  }
  writeFile(source, sourceText);
  writeFile(target, targetText);
}

TEST_F(Gui, ellipsoidal_entry_tries_the_source_then_asks_then_runs) {
  MainDialog dialog(state);
  EstimationPage* page = dialog.estimationPage();
  int prompts = 0;
  page->setOptionsPrompt3DBL([&](const SettingsStore&, const EllipsoidList& list) -> std::optional<EllipsoidalChoice> {
    ++prompts;
    EXPECT_EQ(list.size(), dialog.settingsPage()->ellipsoids().size()) << "the settings page's list";
    EllipsoidalChoice choice;
    choice.options.preTranslate = 0;
    choice.sourceEllipsoid = list[0];
    choice.targetEllipsoid = list[0];
    return choice;
  });
  page->list()->setCurrentItem(page->list()->topLevelItem(4));
  page->reportEdit()->setText(QString::fromStdString((home / "bl.aus").string()));
  page->targetEdit()->setText(QString::fromStdString((home / "bl-target.txt").string()));
  const QString missing = QString::fromStdString((home / "missing.txt").string());
  page->sourceEdit()->setText(missing);
  EXPECT_FALSE(page->compute());
  EXPECT_EQ(errors, QStringList{text(str::SourceUnreadable, {missing})});
  EXPECT_EQ(prompts, 0) << "no dialog for a source that cannot be opened";

  writeEllipsoidalPoints(home / "bl-source.txt", home / "bl-target.txt");
  page->sourceEdit()->setText(QString::fromStdString((home / "bl-source.txt").string()));
  errors.clear();
  EXPECT_TRUE(page->compute());
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(errors, QStringList{text(str::EstimationDone)});
  EXPECT_TRUE(std::filesystem::exists(home / "bl.aus"));
  EXPECT_EQ(page->lastSet().type, 2);
  EXPECT_EQ(page->lastSet().sourceEllipsoid.name, "Bessel");
}

TEST_F(Gui, conversion_page_needs_a_leaf_and_runs_with_the_dialog_values) {
  MainDialog dialog(state);
  ConversionPage* page = dialog.conversionPage();
  ASSERT_NE(page, nullptr);
  int prompts = 0;
  page->setOptionsPrompt([&](const ConversionInfo& conversion, ConversionJob& job) {
    ++prompts;
    EXPECT_EQ(conversion.code, 1000);
    job.centralMeridian.L0Auto = 0;
    job.centralMeridian.L0 = 9.0;
    return true;
  });
  writeFile(home / "in.txt", "P1 48 9\n");
  page->inputEdit()->setText(QString::fromStdString((home / "in.txt").string()));
  page->outputEdit()->setText(QString::fromStdString((home / "out.txt").string()));
  EXPECT_FALSE(page->compute());
  page->tree()->setCurrentItem(page->tree()->topLevelItem(0));
  EXPECT_EQ(page->description()->text(), text(str::DescriptionGroup));
  EXPECT_FALSE(page->compute());
  EXPECT_EQ(errors, (QStringList{text(str::NoComputationSelected), text(str::NoComputationSelected)}));
  ASSERT_TRUE(page->selectConversion(1000));
  EXPECT_EQ(page->description()->text(), text(str::DescriptionPrefix) + text(str::LabelGeoGk));
  errors.clear();
  EXPECT_TRUE(page->compute());
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(errors, QStringList{text(str::ConversionDone, {"1"})});
  // Bessel is the first ellipsoid of the settings; meridian 9: E = 3 500 000 on it.
  EXPECT_NE(readFile(home / "out.txt").find("3500000.000"), std::string::npos) << readFile(home / "out.txt");
}

TEST_F(Gui, projection_dialogs_follow_their_modes) {
  std::filesystem::create_directories(home / "config");
  SettingsStore store;
  store.SetFile(home / "config" / "u.ini");
  writeFile(home / "config" / "u.ini",
            "[L0AustriaSettings]\nL0Austria=13.3333\nL0AustriaAuto=0\n[LambertSettings]\nVersion=0\nBNordGrad=60\n"
            "BSuedGrad=50\n[SoldnerSettings]\nB0Grad=52\n");
  AustrianMeridianDialog austria(store, {});
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(austria.meridianButton(i)->isChecked()) << "13.3333 is none of them";

  LambertDialog own(store, {}, 0);
  EXPECT_TRUE(own.northEdit()->isHidden()) << "one standard parallel hides the northern one";
  EXPECT_EQ(own.southLabel()->text(), text(str::LabelSingleParallel));
  own.twoParallelsButton()->setChecked(true);
  EXPECT_FALSE(own.northEdit()->isHidden());
  EXPECT_EQ(own.southLabel()->text(), text(str::LabelSouthParallel));

  const std::string before = readFile(home / "config" / "u.ini");
  LambertDialog belgium(store, {}, 2);
  EXPECT_EQ(belgium.meridianEdit()->degreesEdit()->text(), "4");
  EXPECT_EQ(belgium.meridianEdit()->minutesEdit()->text(), "21");
  EXPECT_EQ(belgium.meridianEdit()->secondsEdit()->text(), "33.177");
  EXPECT_TRUE(belgium.meridianEdit()->degreesEdit()->isReadOnly());
  belgium.accept();
  EXPECT_EQ(readFile(home / "config" / "u.ini"), before) << "a preset leaves the user's values alone";

  SoldnerDialog baden(store, {}, true, false);
  EXPECT_EQ(baden.originEdit()->degreesEdit()->text(), "49");
  EXPECT_FALSE(baden.greenwichCheck()->isHidden());
  baden.greenwichCheck()->setChecked(true);
  baden.accept();
  EXPECT_TRUE(baden.greenwich());
  SoldnerDialog ordinary(store, {}, false, false);
  EXPECT_EQ(ordinary.originEdit()->degreesEdit()->text(), "52") << "the ordinary mode loads its section";
  EXPECT_TRUE(ordinary.greenwichCheck()->isHidden());
}

}  // namespace
}  // namespace pelmar::ui
