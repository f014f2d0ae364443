#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QRegularExpression>
#include <QSet>
#include <QTextDocumentFragment>
#include <QTreeWidgetItemIterator>
#include <QKeyEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QShortcut>
#include <QToolButton>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QProgressBar>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <sys/stat.h>

#include <functional>
#include <sstream>

#include "app/LanguageTable.h"
#include "app/ProgramDirectory.h"
#include "cli/CliApp.h"
#include "app/StringIds.h"
#include "geodesy/GeodeticBatch.h"
#include "settings/EllipsoidDatabase.h"
#include "stored/TransformationDatabase.h"
#include "support/TestSupport.h"
#include "ui/ConversionPage.h"
#include "ui/EllipsoidDialog.h"
#include "ui/ProjectionDialogs.h"
#include "ui/EstimationOptionsDialog3D.h"
#include "ui/EstimationOptionsDialog3DBL.h"
#include "ui/EstimationPage.h"
#include "ui/FileViewer.h"
#include "ui/GeodeticPage.h"
#include "ui/GridShiftPage.h"
#include "ui/MainDialog.h"
#include "ui/ResidualPlotView.h"
#include "ui/DialogGallery.h"
#include "estimation/ResultsText.h"
#include "text/TextForm.h"
#include "ui/MessageBoxes.h"
#include "ui/PageKeys.h"
#include "ui/PageServices.h"
#include "ui/ProgressDialog.h"
#include "ui/ResultDialog.h"
#include "ui/SessionState.h"
#include "ui/ParameterSetDialog.h"
#include "ui/SettingsPage.h"
#include "ui/StoredTransformationsPage.h"
#include "ui/UiText.h"

// Readable failures: gtest prints a QString as its text.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace pelmar::ui {
namespace {

// The first paragraph of a box: the closing message of a run.
QString closingOf(const QString& box) { return box.section(QStringLiteral("\n\n"), 0, 0); }

using test::readFile;
using test::TempDir;
using test::writeFile;

// Never destroyed: Qt's input devices (made by the first key event) are its
// children and crash when destroyed after Qt's own statics are gone at exit.
QApplication& application() {
  static int argc = 1;
  static char name[] = "test_ui";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
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
    setDialogResponder([this](const QString& text, DialogKind kind) {
      (kind == DialogKind::Question ? questions : errors).push_back(text);
      kinds.push_back(kind);
      return answer;
    });
  }
  void TearDown() override {
    setDialogResponder({});
    setSessionStore(SettingsStore());  // this test's settings file goes with its folder
  }

  std::filesystem::path settingsFile() const { return userSettingsPathFor(home.path()); }
  static std::filesystem::path userSettingsPathFor(const std::filesystem::path& dir);

  QString text(int id, const QStringList& args = {}) const { return uiText(id, args); }

  // A cancelled estimation: r.aus and o.txt as the test wrote them, one box saying so.
  void expectEarlierFilesKept() {
    EXPECT_EQ(readFile(home / "r.aus"), "earlier report\n");
    EXPECT_EQ(readFile(home / "o.txt"), "earlier output\n");
    EXPECT_EQ(errors, QStringList{text(str::RunCancelled)});
  }

  TempDir home;
  StartUpState state;
  QStringList questions;
  QStringList errors;  // every box that is no question, as the tests read them
  std::vector<DialogKind> kinds;
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

// The real question box before unsaved settings are left: Escape cancels
// (it used to mean No: the program quit and the change was lost), Discard
// closes without saving, Save saves; the buttons carry the program's texts.
TEST_F(Gui, unsaved_settings_ask_save_discard_or_cancel_and_escape_cancels) {
  setDialogResponder({});  // the box itself, driven by keys and clicks
  const struct {
    const char* what;
    std::function<void(QMessageBox&)> act;
    bool open, saved;
  } cases[] = {
      {"Escape",
       [](QMessageBox& box) {
         QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QApplication::sendEvent(&box, &escape);
       },
       true, false},
      {"Discard", [](QMessageBox& box) { box.button(QMessageBox::Discard)->click(); }, false, false},
      {"Save", [](QMessageBox& box) { box.button(QMessageBox::Save)->click(); }, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MainDialog dialog(state);
    dialog.show();
    dialog.settingsPage()->cartesianDecimals()->setValue(5);
    QStringList buttons;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      for (auto* button : box->buttons()) buttons << button->text();
      c.act(*box);
    });
    dialog.closeWithQuestion();
    EXPECT_EQ(dialog.isVisible(), c.open);
    EXPECT_EQ(buttons.size(), 3);
    EXPECT_TRUE(buttons.contains(text(str::ButtonDiscard))) << buttons.join(", ").toStdString();
    EXPECT_EQ(std::filesystem::exists(settingsFile()) &&
                  readFile(settingsFile()).find("NachkommaKartesisch=5") != std::string::npos,
              c.saved);
    if (c.open) {
      EXPECT_TRUE(dialog.settingsPage()->modified()) << "the edit is still there";
      dialog.settingsPage()->cartesianDecimals()->setValue(3);  // nothing left to ask about
    }
  }
}

// The question boxes speak the program's language: the German interface
// showed Qt's English "Yes" and "No".
TEST_F(Gui, question_boxes_carry_the_interface_language) {
  setDialogResponder({});
  std::string error;
  ASSERT_TRUE(state.table.load(home / "LangDE.lng", error)) << error;
  QStringList shown;
  auto answerFirst = [&] {
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      for (auto* button : box->buttons()) shown << button->text().remove('&');
      box->button(QMessageBox::Cancel) != nullptr ? box->button(QMessageBox::Cancel)->click()
                                                  : box->button(QMessageBox::No)->click();
    });
  };
  answerFirst();
  EXPECT_FALSE(askYesNo(nullptr, "?"));
  answerFirst();
  EXPECT_EQ(askSaveDiscardCancel(nullptr, "?"), SaveAnswer::Cancel);
  shown.sort();
  EXPECT_EQ(shown, (QStringList{"Abbrechen", "Ja", "Nein", "Speichern", "Verwerfen"}));
}

// Escape used to end the program at once and drop the edits.
TEST_F(Gui, escape_with_unsaved_settings_asks_while_the_program_still_runs) {
  MainDialog dialog(state);
  dialog.show();
  dialog.settingsPage()->cartesianDecimals()->setValue(5);
  bool visibleWhenAsked = false;
  setDialogResponder([&](const QString& question, DialogKind kind) {
    if (kind == DialogKind::Question) questions << question;
    visibleWhenAsked = dialog.isVisible();
    return false;
  });
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, 0, 0, 0);
  QApplication::sendEvent(&dialog, &escape);
  EXPECT_EQ(questions, QStringList{text(str::SaveSettingsQuestion)});
  EXPECT_TRUE(visibleWhenAsked);
  EXPECT_FALSE(dialog.isVisible()) << "No closes without saving";
  EXPECT_FALSE(std::filesystem::exists(settingsFile()) &&
               readFile(settingsFile()).find("NachkommaKartesisch=5") != std::string::npos);
}

// Enter in a number field pressed New, the page's default button.
TEST_F(Gui, no_button_of_the_settings_page_is_a_default_button) {
  MainDialog dialog(state);
  const QList<QPushButton*> buttons = dialog.settingsPage()->findChildren<QPushButton*>();
  ASSERT_FALSE(buttons.isEmpty());
  for (const QPushButton* button : buttons) {
    EXPECT_FALSE(button->autoDefault() || button->isDefault()) << button->text().toStdString();
  }
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

// General settings that an earlier version zeroed (0 decimals, no editor)
// are taken as missing, told once and written back whole.
TEST_F(Gui, zeroed_general_settings_are_repaired_once_with_a_notice) {
  std::filesystem::create_directories(home / "config");
  writeFile(settingsFile(),
            "[DesktopSession]\nConversionInput=/tmp/in.txt\n[GeneralSettings]\nNachkommaGeog=0\n"
            "NachkommaKartesisch=0\nFormatGeog=0\nEllip=0\nEditor=\nUserDefinedHeader=0\nIncludeDate=0\n"
            "FormatUTM=0\n[Interpolation]\nInterpolationActive=0\nInterpolationtype=0\ndsH=0\n");
  SettingsPage page(home.path(), state.languages);
  ASSERT_TRUE(page.initialise());
  EXPECT_EQ(page.settings().decimalsGeographic, 6);
  EXPECT_EQ(page.settings().decimalsCartesian, 3);
  EXPECT_EQ(page.settings().interpolationActive, 1);
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors.front(), text(str::SettingsRepaired, {QString::fromStdString(settingsFile().string())}));
  EXPECT_NE(readFile(settingsFile()).find("NachkommaGeog=6"), std::string::npos);
  SettingsPage again(home.path(), state.languages);
  ASSERT_TRUE(again.initialise());
  EXPECT_EQ(errors.size(), 1) << "the notice comes once";
  EXPECT_FALSE(again.modified());
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
  // The message names what is wrong, as "ellipsoids list" does.
  EXPECT_TRUE(errors[0].startsWith(text(str::EllipsoidFileFailed, {QString::fromStdString((home / "Ellip.db").string())})))
      << errors[0].toStdString();
  EXPECT_TRUE(errors[0].contains("is damaged")) << errors[0].toStdString();
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

  dialog.secondKind()->setCurrentIndex(3);  // b -> 1/f
  EXPECT_NEAR(dialog.secondEdit()->text().toDouble(), 1 / f, 1e-9);

  dialog.secondKind()->setCurrentIndex(2);
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_NEAR(dialog.ellipsoid().b, 6356078.962818, 1e-5) << "OK returns b whatever the field shows";

  // GRS80 as people write it: a and 1/f; b from `cct +proj=cart +ellps=GRS80` at the pole.
  EllipsoidDialog grs80;
  grs80.nameEdit()->setText("GRS80 (1/f)");
  grs80.semiMajorEdit()->setText("6378137");
  grs80.secondKind()->setCurrentIndex(3);
  grs80.secondEdit()->setText("298.257222101");
  grs80.accept();
  EXPECT_EQ(grs80.result(), QDialog::Accepted);
  EXPECT_NEAR(grs80.ellipsoid().b, 6356752.314140356, 1e-6);

  EllipsoidDialog empty;
  empty.semiMajorEdit()->setText("6378137");
  empty.accept();
  EXPECT_NE(empty.result(), QDialog::Accepted);
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0], text(str::EllipsoidNameMissing));
}

// Two records named "Bessel": deleting the selected one deletes that one
// (it used to delete the first and leave the combo showing the other while
// the conversions used the next record).
TEST_F(Gui, deleting_one_of_two_equal_names_deletes_the_selected_record) {
  WriteEllipsoidDatabase(home / "Ellip.db", {{"Bessel", 6377397.155, 6356078.962818},
                                             {"GRS80", 6378137.0, 6356752.314140},
                                             {"Bessel", 6377397.0, 6356079.0}});
  SettingsPage page(home.path(), state.languages);
  ASSERT_TRUE(page.initialise());
  page.ellipsoidCombo()->setCurrentIndex(2);
  answer = true;
  page.deleteEllipsoid();
  ASSERT_EQ(page.ellipsoids().size(), 2u);
  EXPECT_EQ(page.ellipsoids()[0].a, 6377397.155) << "the first Bessel stays";
  EXPECT_EQ(page.ellipsoidCombo()->count(), 2);
  EXPECT_EQ(page.ellipsoidCombo()->currentIndex(), page.settings().ellipsoid) << "the combo shows what is used";
  EXPECT_EQ(page.ellipsoids()[static_cast<std::size_t>(page.settings().ellipsoid)].name, "GRS80");
}

// OK refuses a name another ellipsoid has, a field that is not one whole
// number and axes no conversion can use, naming the field.
TEST_F(Gui, ellipsoid_dialog_refuses_taken_names_partial_numbers_and_impossible_axes) {
  const struct {
    const char *name, *a, *second;
    int kind;  // 0 b, 2 f, 3 1/f
    int message;
  } cases[] = {
      {"Bessel", "6377397.155", "6356078.962818", 0, str::EllipsoidNameTaken},
      {"New", "6.378.137", "6356752.3", 0, str::FieldNotANumber},
      {"New", "6378137", "6356752.3 m", 0, str::FieldNotANumber},
      {"New", "0", "0", 0, str::EllipsoidAxesInvalid},
      {"New", "6378137", "6378138", 0, str::EllipsoidAxesInvalid},
      {"New", "-1", "-2", 0, str::EllipsoidAxesInvalid},
      {"New", "6378137", "635675.2", 0, str::EllipsoidFlatteningImplausible},
      {"New", "6378137", "0.5", 2, str::EllipsoidFlatteningImplausible},
      {"New", "6378137", "297", 2, str::FlatteningLooksInverse},
      {"New", "6378137", "0.5", 3, str::EllipsoidFlatteningImplausible},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " " + c.second);
    errors.clear();
    EllipsoidDialog dialog;
    dialog.setTakenNames({"Bessel", "GRS80"});
    dialog.nameEdit()->setText(c.name);
    dialog.secondKind()->setCurrentIndex(c.kind);
    dialog.semiMajorEdit()->setText(c.a);
    dialog.secondEdit()->setText(c.second);
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(text(c.message, {"\x01", "\x01"}).section("\x01", 0, 0))) << errors[0].toStdString();
  }
  errors.clear();
  EllipsoidDialog sphere;
  sphere.nameEdit()->setText("Sphere");
  sphere.semiMajorEdit()->setText(" 6371000 ");
  sphere.secondEdit()->setText("6371000");
  sphere.accept();
  EXPECT_EQ(sphere.result(), QDialog::Accepted) << "a sphere is an ellipsoid";
  EXPECT_TRUE(errors.isEmpty());
}

// The manual: a missing file is told with the path that was tried, and so is
// a file no program would open (both failed silently or named only the file).
TEST_F(Gui, the_manual_names_the_path_when_it_is_missing_or_nothing_opens_it) {
  MainDialog dialog(state);
  const QString path = QString::fromStdString((home / "PelmarEN.pdf").string());
  QList<QUrl> opened;
  bool opens = false;
  services::setLinkOpener([&](const QUrl& url) {
    opened << url;
    return opens;
  });
  dialog.openManual();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0], text(str::ManualMissing, {path}));
  EXPECT_TRUE(opened.isEmpty());
  writeFile(home / "PelmarEN.pdf", "%PDF-1.4\n");
  errors.clear();
  dialog.openManual();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0], text(str::LinkNotOpened, {path}));
  opens = true;
  errors.clear();
  dialog.openManual();
  EXPECT_TRUE(errors.isEmpty());
  ASSERT_EQ(opened.size(), 2);
  EXPECT_EQ(opened.back(), QUrl::fromLocalFile(path));
  services::setLinkOpener({});
}

// The viewer windows a test opened, closed again.
QList<FileViewer*> openViewers() {
  QList<FileViewer*> viewers;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* viewer = qobject_cast<FileViewer*>(widget); viewer && viewer->isVisible()) viewers << viewer;
  }
  return viewers;
}
void closeViewers() {
  for (FileViewer* viewer : openViewers()) viewer->close();
}

TEST_F(Gui, viewing_a_file_starts_the_editor_with_its_options_and_the_file_last) {
  QStringList started;
  services::setLauncher([&](const QString& program, const QStringList& args) {
    started << program + "|" + args.join("|");
    return true;
  });
  services::viewFile(nullptr, "kate -n", "/data/a b.txt");
  EXPECT_EQ(started, QStringList{"kate|-n|/data/a b.txt"});
  EXPECT_TRUE(errors.isEmpty());
  EXPECT_TRUE(openViewers().isEmpty());
  services::setLauncher(nullptr);
}

// No editor set, or one that cannot be started (named with the command that
// was tried): the file opens in the built-in viewer. The default opener
// missing (xdg-open on a minimal system) is no error: an error box came
// first at every View.
TEST_F(Gui, viewing_a_file_falls_back_to_the_built_in_viewer) {
  const QString file = QString::fromStdString((home / "r.aus").string());
  writeFile(home / "r.aus", "report\n");
  QStringList started;
  services::setLauncher([&](const QString& program, const QStringList& args) {
    started << program + " " + args.join(" ");
    return false;
  });
  services::viewFile(nullptr, "", file);
  EXPECT_TRUE(started.isEmpty());
  EXPECT_TRUE(errors.isEmpty());
  ASSERT_EQ(openViewers().size(), 1);
  EXPECT_EQ(openViewers()[0]->text(), "report\n");
  closeViewers();

  services::viewFile(nullptr, "xdg-open", file);
  EXPECT_EQ(started, QStringList{"xdg-open " + file});
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
  ASSERT_EQ(openViewers().size(), 1);
  closeViewers();
  started.clear();

  services::viewFile(nullptr, "notepad.exe", file);
  EXPECT_EQ(started, QStringList{"notepad.exe " + file});
  EXPECT_EQ(errors, QStringList{text(str::EditorFailedCommand, {"notepad.exe " + file})});
  EXPECT_EQ(kinds, std::vector<DialogKind>{DialogKind::Error});
  EXPECT_EQ(openViewers().size(), 1);
  closeViewers();
  services::setLauncher(nullptr);
}

TEST_F(Gui, the_editor_field_takes_a_typed_command) {
  SettingsPage page(home.path(), state.languages);
  ASSERT_TRUE(page.initialise());
  EXPECT_FALSE(page.editorEdit()->isReadOnly());
  EXPECT_EQ(page.editorEdit()->text(), GeneralSettings::kDefaultEditor) << "the whole command, not a file name";
  page.editorEdit()->setFocus();
  page.editorEdit()->selectAll();
  page.editorEdit()->insert("gedit --new-window");  // as typing does: textEdited
  EXPECT_EQ(page.settings().editor, "gedit --new-window");
  EXPECT_TRUE(page.modified());
  ASSERT_TRUE(page.save());
  EXPECT_NE(readFile(settingsFile()).find("Editor=gedit --new-window"), std::string::npos);
}

TEST_F(Gui, write_access_check_names_the_missing_directory) {
  EXPECT_TRUE(services::checkWriteAccess(nullptr, QString::fromStdString((home / "out.aus").string())));
  EXPECT_FALSE(services::checkWriteAccess(nullptr, "/nonexistent/dir/out.aus"));
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0], text(str::FolderMissing, {"/nonexistent/dir"}));
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

TEST_F(Gui, file_viewer_finds_the_next_match_and_wraps) {
  writeFile(home / "r.aus", "P1 1.0\nP2 2.0\nP10 3.0\n");
  FileViewer viewer(QString::fromStdString((home / "r.aus").string()));
  viewer.findEdit()->setText("p1");
  ASSERT_TRUE(viewer.findNext());
  EXPECT_EQ(viewer.view()->textCursor().blockNumber(), 0);
  ASSERT_TRUE(viewer.findNext());
  EXPECT_EQ(viewer.view()->textCursor().blockNumber(), 2);
  ASSERT_TRUE(viewer.findNext()) << "wraps to the top";
  EXPECT_EQ(viewer.view()->textCursor().blockNumber(), 0);
  viewer.findEdit()->setText("P7");
  EXPECT_FALSE(viewer.findNext());
  EXPECT_EQ(viewer.findStatus(), text(str::ViewerNotFound, {"P7"}));
  EXPECT_EQ(viewer.view()->textCursor().blockNumber(), 0) << "the last match stays selected";
}

// The entry that looks chosen at the start is the one Compute runs: it
// looked selected and Compute said "Please choose a computation".
TEST_F(Gui, the_first_estimation_entry_computes_what_it_shows) {
  MainDialog dialog(state);
  EstimationPage* page = dialog.estimationPage();
  ASSERT_TRUE(page->list()->topLevelItem(0)->isSelected());
  writeFile(home / "s.txt", "A 100 200\nB 300 400\nC 500 100\nD 250 50\n");
  writeFile(home / "t.txt", "A 110 210\nB 310 410\nC 510 110\nD 260 60\n");
  page->reportEdit()->setText(QString::fromStdString((home / "r.aus").string()));
  page->sourceEdit()->setText(QString::fromStdString((home / "s.txt").string()));
  page->targetEdit()->setText(QString::fromStdString((home / "t.txt").string()));
  page->setOptionsPrompt([](const SettingsStore&) { return std::optional<EstimationOptions2D>(EstimationOptions2D{}); });
  EXPECT_TRUE(page->compute());
  EXPECT_NE(readFile(home / "r.aus").find(toFileText(text(str::TitleSimilarity))), std::string::npos);
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

  // The first entry is chosen at the start, and shows it.
  EXPECT_EQ(page->list()->currentItem(), page->list()->topLevelItem(0));
  EXPECT_TRUE(page->list()->topLevelItem(0)->isSelected());
  page->list()->clearSelection();
  EXPECT_FALSE(page->compute());
  page->list()->setCurrentItem(page->list()->topLevelItem(0));
  EXPECT_FALSE(page->compute());
  page->reportEdit()->setText(QString::fromStdString((home / "r.aus").string()));
  EXPECT_FALSE(page->compute());
  writeFile(home / "s.txt", "A 100 200\nB 300 400\nC 500 100\nD 250 50\n");
  writeFile(home / "t.txt", "A 110 210\nB 310 410\nC 510 110\nD 260 60\n");
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
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(closingOf(errors[0]), text(str::EstimationDone));
  EXPECT_TRUE(std::filesystem::exists(home / "r.aus"));
  EXPECT_EQ(prompts, 2);

  // A target that cannot be read is told before the options are asked for.
  errors.clear();
  page->targetEdit()->setText(QString::fromStdString((home / "missing.txt").string()));
  EXPECT_FALSE(page->compute());
  EXPECT_EQ(errors, QStringList{text(str::TargetUnreadable, {QString::fromStdString((home / "missing.txt").string())})});
  EXPECT_EQ(kinds.back(), DialogKind::Error);
  EXPECT_EQ(prompts, 2);
}

// A run shows its residual plot in the page and writes the same picture
// beside the report; a failed run takes the plot away again.
TEST_F(Gui, estimation_page_shows_and_writes_the_residual_plot) {
  MainDialog dialog(state);
  EstimationPage* page = dialog.estimationPage();
  page->setOptionsPrompt([](const SettingsStore&) {
    EstimationOptions2D options;
    options.type = 1;
    return std::optional<EstimationOptions2D>(options);
  });
  writeFile(home / "s.txt", "A 100 200\nB 300 400\nC 500 100\nD 250 50\nE 400 300\n");
  writeFile(home / "t.txt", "A 110 210\nB 310 410\nC 510 110\nD 260 60\nE 410.3 310\n");
  page->list()->setCurrentItem(page->list()->topLevelItem(0));
  page->reportEdit()->setText(QString::fromStdString((home / "r.aus").string()));
  page->sourceEdit()->setText(QString::fromStdString((home / "s.txt").string()));
  page->targetEdit()->setText(QString::fromStdString((home / "t.txt").string()));
  EXPECT_FALSE(page->plotView()->hasPlot());
  ASSERT_TRUE(page->compute());
  ASSERT_TRUE(page->plotView()->hasPlot());
  EXPECT_EQ(page->plotView()->svg().toStdString(), readFile(home / "r.svg"));
  EXPECT_NE(readFile(home / "r.svg").find(">E</text>"), std::string::npos);

  page->targetEdit()->setText(QString::fromStdString((home / "missing.txt").string()));
  EXPECT_FALSE(page->compute());
  EXPECT_FALSE(page->plotView()->hasPlot()) << "no plot of an earlier run stands beside a failed one";
}

// A spatial run (centred, least squares) on points made by cct with
// +x=598.1 +y=73.7 +z=418.2: the panel shows σ0, every parameter with its σ,
// and the translations in the files' frame that the reduced parameters hide
// (named as the report's point tables head the files' columns);
// the plot window names a point under the pointer, also after zooming.
TEST_F(Gui, estimation_page_shows_the_numbers_and_a_plot_window_that_names_points) {
  MainDialog dialog(state);
  EstimationPage* page = dialog.estimationPage();
  page->setOptionsPrompt3D([](const SettingsStore&, SpatialModel) {
    EstimationOptions3D options;
    options.type = 1;
    return std::optional<EstimationOptions3D>(options);
  });
  const auto reference = test::sourceDir() / "tests" / "reference";
  page->reportEdit()->setText(QString::fromStdString((home / "r.aus").string()));
  page->sourceEdit()->setText(QString::fromStdString((reference / "helmert-source.txt").string()));
  page->targetEdit()->setText(QString::fromStdString((reference / "helmert-target-pv.txt").string()));
  page->list()->setCurrentItem(page->list()->topLevelItem(2));
  ASSERT_TRUE(page->compute());
  const QStringList lines = page->resultsPanel()->toPlainText().split('\n');
  ASSERT_FALSE(lines.isEmpty());
  EXPECT_TRUE(lines[0].startsWith("σ0 = ")) << lines[0].toStdString();
  EXPECT_TRUE(lines[0].contains("degrees of freedom"));
  const int head = static_cast<int>(lines.indexOf(QRegularExpression("^Parameter +Value +σ +Unit$")));
  ASSERT_GE(head, 0);
  int parameters = 0;
  for (int i = head + 1; i < lines.size() && !lines[i].isEmpty() && lines[i][0] != ' ' &&
                         lines[i] != text(str::ResultsFilesTranslation);
       ++i, ++parameters) {
    const QStringList fields = lines[i].mid(12).split(' ', Qt::SkipEmptyParts);  // after the name's column
    ASSERT_GE(fields.size(), 2) << lines[i].toStdString();
    bool value = false, sigma = false;
    fields[0].toDouble(&value);
    fields[1].toDouble(&sigma);
    EXPECT_TRUE(value && sigma) << "a value and its σ: " << lines[i].toStdString();
  }
  EXPECT_EQ(parameters, 7);
  const int translations = static_cast<int>(lines.indexOf(text(str::ResultsFilesTranslation)));
  ASSERT_GE(translations, 0) << page->resultsPanel()->toPlainText().toStdString();
  EXPECT_EQ(lines.mid(translations + 1, 3).join('|').simplified(), "X 598.1000 m| Y 73.7000 m| Z 418.2000 m");

  ResidualPlotView* window = page->openPlotWindow();
  ASSERT_NE(window, nullptr);
  window->resize(800, 700);
  const QPointF marker = window->markerPosition(0);
  ASSERT_FALSE(marker.isNull());
  EXPECT_TRUE(window->pointAt(marker).startsWith("P0: " + text(str::VerdictAccepted)));
  // P0's residuals are some hundredths of a millimetre, some of them negative.
  EXPECT_TRUE(window->pointAt(marker).contains(": Y = 0.0 mm, X = 0.0 mm, Z = 0.0 mm"))
      << "the residuals by axis, no sign on a 0: " << window->pointAt(marker).toStdString();
  window->zoomAbout(marker, 4.0);
  EXPECT_NEAR(window->markerPosition(0).x(), marker.x(), 0.5) << "the point under the pointer stays";
  EXPECT_TRUE(window->pointAt(marker).startsWith("P0: "));
  EXPECT_TRUE(window->pointAt(marker + QPointF(300, 300)).isEmpty() ||
              !window->pointAt(marker + QPointF(300, 300)).startsWith("P0: "));
  window->window()->close();
}

// Without redundancy the panel tells that no point could be tested, not
// that none was flagged; names read from delimited fields show their blanks.
TEST_F(Gui, the_results_text_says_when_no_test_was_possible_and_shows_names_as_read) {
  EstimationSummary summary;
  summary.grossErrorTest = false;
  summary.redundancy = 0;
  summary.testK = 2;
  std::string text = ResultsText(summary, state.table);
  EXPECT_NE(text.find(state.table.format(str::NoticeNoGrossErrorTest, {0, 2})), std::string::npos) << text;
  EXPECT_EQ(text.find(state.table.text(str::ResultsNoneFlagged)), std::string::npos) << text;

  summary.grossErrorTest = true;
  PointTest flagged;
  flagged.name = std::string("Sankt") + kFieldBlank + "\xD6lberg";  // Windows-1252, as a file holds it
  flagged.outlier = true;
  summary.points = {flagged};
  text = ResultsText(summary, state.table);
  EXPECT_NE(text.find("Sankt Ölberg"), std::string::npos) << text;
}

// Withdrawing from the options dialog runs nothing: the plot of the last
// run stays.
TEST_F(Gui, estimation_page_keeps_the_plot_when_the_options_are_withdrawn) {
  MainDialog dialog(state);
  EstimationPage* page = dialog.estimationPage();
  std::optional<EstimationOptions2D> options = EstimationOptions2D{};
  options->type = 1;
  page->setOptionsPrompt([&](const SettingsStore&) { return options; });
  writeFile(home / "s.txt", "A 100 200\nB 300 400\nC 500 100\nD 250 50\n");
  writeFile(home / "t.txt", "A 110 210\nB 310 410\nC 510 110\nD 260 60\n");
  page->list()->setCurrentItem(page->list()->topLevelItem(0));
  page->reportEdit()->setText(QString::fromStdString((home / "r.aus").string()));
  page->sourceEdit()->setText(QString::fromStdString((home / "s.txt").string()));
  page->targetEdit()->setText(QString::fromStdString((home / "t.txt").string()));
  ASSERT_TRUE(page->compute());
  ASSERT_TRUE(page->plotView()->hasPlot());
  options.reset();
  EXPECT_FALSE(page->compute());
  EXPECT_TRUE(page->plotView()->hasPlot());
}

// An output and a plot the run may not replace (read-only) are told and
// left as they were; the result box names only the report it did write.
TEST_F(Gui, result_box_names_no_file_the_run_could_not_write) {
  MainDialog dialog(state);
  EstimationPage* page = dialog.estimationPage();
  page->setOptionsPrompt([](const SettingsStore&) { return std::optional<EstimationOptions2D>(EstimationOptions2D{}); });
  writeFile(home / "s.txt", "A 100 200\nB 300 400\nC 500 100\nD 250 50\n");
  writeFile(home / "t.txt", "A 110 210\nB 310 410\nC 510 110\nD 260 60\n");
  for (const char* kept : {"o.txt", "r.svg"}) {
    writeFile(home / kept, "kept\n");
    ::chmod((home / kept).c_str(), 0444);
  }
  const QString report = QString::fromStdString((home / "r.aus").string());
  page->list()->setCurrentItem(page->list()->topLevelItem(0));
  page->reportEdit()->setText(report);
  page->outputEdit()->setText(QString::fromStdString((home / "o.txt").string()));
  page->sourceEdit()->setText(QString::fromStdString((home / "s.txt").string()));
  page->targetEdit()->setText(QString::fromStdString((home / "t.txt").string()));
  errors.clear();
  ASSERT_TRUE(page->compute());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains(text(str::ResultFileWritten, {report})));
  EXPECT_EQ(errors[0].count(text(str::ResultFileWritten, {""})), 1) << errors[0].toStdString();
  EXPECT_EQ(readFile(home / "o.txt"), "kept\n");
  EXPECT_EQ(readFile(home / "r.svg"), "kept\n");
}

// Points on one line: the run stops before anything is written, and the
// page says so in one box that names the cause.
TEST_F(Gui, estimation_page_tells_a_failed_run_in_one_box) {
  MainDialog dialog(state);
  EstimationPage* page = dialog.estimationPage();
  std::optional<EstimationOptions2D> options = EstimationOptions2D{};
  page->setOptionsPrompt([&](const SettingsStore&) { return options; });
  writeFile(home / "s.txt", "A 100 200\nB 200 300\nC 300 400\nD 400 500\n");
  writeFile(home / "t.txt", "A 110 210\nB 210 310\nC 310 410\nD 410 510\n");
  writeFile(home / "r.aus", "an earlier report\n");
  page->list()->setCurrentItem(page->list()->topLevelItem(1));
  page->reportEdit()->setText(QString::fromStdString((home / "r.aus").string()));
  page->sourceEdit()->setText(QString::fromStdString((home / "s.txt").string()));
  page->targetEdit()->setText(QString::fromStdString((home / "t.txt").string()));
  errors.clear();
  EXPECT_FALSE(page->compute());
  EXPECT_EQ(errors, QStringList{text(str::EstimationFailed) + "\n\n" + text(str::PointsOnOneLine)});
  EXPECT_EQ(readFile(home / "r.aus"), "an earlier report\n");
}

TEST_F(Gui, spatial_entries_run_with_their_own_options) {
  MainDialog dialog(state);
  EstimationPage* page = dialog.estimationPage();
  std::optional<EstimationOptions3D> options = EstimationOptions3D{};
  std::vector<SpatialModel> asked;
  page->setOptionsPrompt3D([&](const SettingsStore&, SpatialModel model) {
    asked.push_back(model);
    return options;
  });
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
    // The closing message first; notices of the run (points flagged on the
    // rounding noise of these files) may follow in the same box.
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(text(str::EstimationDone)));
    EXPECT_EQ(page->lastSet().type, entry - 2);
  }
  EXPECT_EQ(asked, (std::vector<SpatialModel>{SpatialModel::Rigorous, SpatialModel::Linearised}));
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

// Both spatial entries share the section but not the method: the L1 entry
// opened with "Least squares" after a least-squares run of the rigorous one.
TEST_F(Gui, each_spatial_entry_opens_with_its_own_method) {
  std::filesystem::create_directories(home / "config");
  SettingsStore store;
  store.SetFile(home / "config" / "u.ini");
  writeFile(home / "config" / "u.ini", "[HelmertTrafo3D]\nType=1\n");
  auto leastSquares = [](const EstimationOptionsDialog3D& dialog) {
    return dialog.findChildren<QRadioButton*>().at(1);
  };
  EstimationOptionsDialog3D rigorous(store, false, SpatialModel::Rigorous);
  EXPECT_TRUE(leastSquares(rigorous)->isChecked());
  EstimationOptionsDialog3D linearised(store, false, SpatialModel::Linearised);
  EXPECT_FALSE(leastSquares(linearised)->isChecked()) << "TypeLinearised, missing, reads 0: the L1 norm";
  leastSquares(linearised)->setChecked(true);
  linearised.accept();
  EstimationOptions3D stored;
  stored.load(store);
  EXPECT_EQ(stored.typeLinearised, 1);
  EXPECT_EQ(stored.forModel(SpatialModel::Rigorous).type, 1);
  EXPECT_EQ(stored.forModel(SpatialModel::Linearised).type, 1);
  stored.type = 0;
  EXPECT_EQ(stored.forModel(SpatialModel::Linearised).type, 1) << "the other entry's choice stays its own";
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
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(closingOf(errors[0]), text(str::EstimationDone));
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
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(closingOf(errors[0]), text(str::ConversionFinished));
  // Bessel is the first ellipsoid of the settings; meridian 9: E = 3 500 000 on it.
  EXPECT_NE(readFile(home / "out.txt").find("3500000.000"), std::string::npos) << readFile(home / "out.txt");
}

// Every projection computes on an ellipsoid, and none was named: UTM of a
// WGS84 point on the default Bessel came out 600 m off without a word.
TEST_F(Gui, the_ellipsoid_in_use_is_named_on_the_pages_in_the_dialogs_and_the_result_box) {
  MainDialog dialog(state);
  ConversionPage* page = dialog.conversionPage();
  const QString bessel = ellipsoidText(dialog.settingsPage()->currentEllipsoid());
  EXPECT_TRUE(bessel.startsWith(text(str::EllipsoidInUse, {"Bessel", ""}).section(QLatin1Char('('), 0, 0)))
      << bessel.toStdString();
  EXPECT_TRUE(bessel.contains("a = 6377397.155 m, 1/f = 299.15281")) << bessel.toStdString();
  const struct {
    int code;
    QString line;
  } cases[] = {{1001, bessel},
               {2009, text(str::EllipsoidFixedBySystem, {"GRS80", "a = 6378137.000 m, 1/f = 298.2572221"})},
               {2011, text(str::EllipsoidFixedBySystem, {"Bessel 1841", "a = 6377397.155 m, 1/f = 299.1528128"})}};
  for (const auto& c : cases) {
    ASSERT_TRUE(page->selectConversion(c.code));
    EXPECT_EQ(page->ellipsoidLabel()->text(), c.line) << c.code;
  }

  // The option dialog names it above its fields; cancelled, nothing runs.
  writeFile(home / "in.txt", "P1 48 9\n");
  page->inputEdit()->setText(QString::fromStdString((home / "in.txt").string()));
  page->outputEdit()->setText(QString::fromStdString((home / "out.txt").string()));
  ASSERT_TRUE(page->selectConversion(1000));
  QString inDialog;
  QTimer::singleShot(0, [&] {
    auto* options = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(options, nullptr);
    if (auto* line = options->findChild<QLabel*>(QStringLiteral("ellipsoidLine"))) inDialog = line->text();
    options->reject();
  });
  EXPECT_FALSE(page->compute());
  EXPECT_EQ(inDialog, bessel);

  page->setOptionsPrompt([](const ConversionInfo&, ConversionJob&) { return true; });
  errors.clear();
  ASSERT_TRUE(page->compute());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains(bessel)) << errors[0].toStdString();

  dialog.show();
  dialog.tabs()->setCurrentIndex(MainDialog::kGeodeticTab);
  EXPECT_EQ(dialog.geodeticPage()->ellipsoidLabel()->text(), bessel);
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


// --- Parameter-set dialog ------------------------------------------------------

TransformationSet namedSet(const std::string& name, const std::string& description = {}, int type = 0) {
  TransformationSet set;
  set.name = name;
  set.description = description;
  set.type = type;
  return set;
}

class SetDialog : public Gui {
 protected:
  EllipsoidList ellipsoids{{"Bessel", 6377397.155, 6356078.962818}, {"GRS80", 6378137.0, 6356752.314140}};
  std::vector<TransformationSet> stored{namedSet("Alpha"), namedSet("Beta")};

  // OK; true when the dialog closed. A refusal must name its reason once.
  bool accept(ParameterSetDialog& dialog) {
    errors.clear();
    dialog.accept();
    return dialog.result() == QDialog::Accepted;
  }
};

TEST_F(SetDialog, an_empty_name_is_refused_with_160) {
  ParameterSetDialog dialog(namedSet(""), ellipsoids, stored);
  dialog.nameEdit()->setText("   ");
  EXPECT_FALSE(accept(dialog));
  EXPECT_EQ(errors, QStringList{text(str::SetNameMissing)});
}

TEST_F(SetDialog, a_changed_name_equal_to_a_stored_one_after_trimming_is_refused_with_168) {
  ParameterSetDialog other(stored[1], ellipsoids, stored);
  other.nameEdit()->setText("  Alpha ");
  EXPECT_FALSE(accept(other));
  EXPECT_EQ(errors, QStringList{text(str::SetNameTaken, {"Alpha"})});

  // The set itself is among the stored ones: blanks alone are no new name.
  ParameterSetDialog itself(stored[1], ellipsoids, stored);
  itself.nameEdit()->setText("Beta ");
  EXPECT_FALSE(accept(itself));
  EXPECT_EQ(errors, QStringList{text(str::SetNameTaken, {"Beta"})});
}

TEST_F(SetDialog, an_unchanged_name_is_accepted_even_when_another_set_shares_it) {
  stored.push_back(namedSet("Beta", "second"));
  ParameterSetDialog dialog(stored[2], ellipsoids, stored);
  dialog.descriptionEdit()->setText("changed");
  EXPECT_TRUE(accept(dialog)) << errors.join("\n").toStdString();
  EXPECT_EQ(dialog.set().name, "Beta");
  EXPECT_EQ(dialog.set().description, "changed");
}

TEST_F(SetDialog, a_new_name_is_stored_trimmed_in_windows_1252) {
  ParameterSetDialog dialog(namedSet(""), ellipsoids, stored);
  dialog.nameEdit()->setText(QString::fromUtf8("  Gauß-Krüger "));
  EXPECT_TRUE(accept(dialog)) << errors.join("\n").toStdString();
  EXPECT_EQ(dialog.set().name, "Gau\xDF-Kr\xFCger");
}

TEST_F(SetDialog, an_ellipsoidal_set_needs_both_ellipsoids_and_takes_them_whole) {
  TransformationSet set = namedSet("E", "", 0);
  set.auxiliary = {1, 2, 3, 4, 5, 6};
  ParameterSetDialog dialog(set, ellipsoids, stored);
  ASSERT_EQ(dialog.sourceEllipsoidCombo()->count(), 3);
  EXPECT_EQ(dialog.sourceEllipsoidCombo()->itemText(2), "") << "the last entry means none";
  EXPECT_EQ(dialog.sourceEllipsoidCombo()->currentIndex(), 2) << "a set without ellipsoids preselects none";
  dialog.typeCombo()->setCurrentIndex(2);

  EXPECT_FALSE(accept(dialog));
  EXPECT_EQ(errors, QStringList{text(str::SetSourceEllipsoidMissing)});
  dialog.sourceEllipsoidCombo()->setCurrentIndex(1);
  EXPECT_FALSE(accept(dialog));
  EXPECT_EQ(errors, QStringList{text(str::SetTargetEllipsoidMissing)});
  dialog.targetEllipsoidCombo()->setCurrentIndex(0);
  EXPECT_TRUE(accept(dialog)) << errors.join("\n").toStdString();

  const TransformationSet& result = dialog.set();
  EXPECT_EQ(result.type, 2);
  EXPECT_EQ(result.sourceEllipsoid.name, "GRS80");
  EXPECT_EQ(result.sourceEllipsoid.b, 6356752.314140);
  EXPECT_EQ(result.targetEllipsoid.name, "Bessel");
  EXPECT_EQ(result.targetEllipsoid.a, 6377397.155);
  EXPECT_EQ(result.auxiliary, (std::array<double, 6>{})) << "the auxiliary values belong to types 0 and 1";
}

// A set's ellipsoid that the list holds (name and axes) is preselected
// there; one the list lacks, or holds with other axes, stays a choice of
// its own, so that editing only the description keeps the stored axes.
TEST_F(SetDialog, the_set_ellipsoids_are_kept_as_stored) {
  TransformationSet set = namedSet("E", "", 2);
  set.sourceEllipsoid = ellipsoids[1];
  set.targetEllipsoid = {"GRS80", 6378137.0, 6356752.0};  // other axes under a known name
  ParameterSetDialog dialog(set, ellipsoids, stored);
  EXPECT_EQ(dialog.sourceEllipsoidCombo()->currentIndex(), 1);
  EXPECT_EQ(dialog.targetEllipsoidCombo()->currentIndex(), 0);
  EXPECT_EQ(dialog.targetEllipsoidCombo()->count(), 4) << "its own entry, the list's two, the empty one";
  dialog.descriptionEdit()->setText("only the description changes");
  ASSERT_TRUE(accept(dialog));
  EXPECT_EQ(dialog.set().targetEllipsoid.b, 6356752.0);
  EXPECT_EQ(dialog.set().sourceEllipsoid.a, ellipsoids[1].a);
}

TEST_F(SetDialog, the_type_enables_the_auxiliary_values_or_the_ellipsoidal_controls) {
  ParameterSetDialog dialog(namedSet("T", "", 1), ellipsoids, stored);
  auto expectEnabled = [&](bool auxiliary, bool ellipsoidal) {
    for (int i = 0; i < 6; ++i) EXPECT_EQ(dialog.auxiliaryEdit(i)->isEnabled(), auxiliary) << "a" << i + 1;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(dialog.preTranslationEdit(i)->isEnabled(), ellipsoidal) << i;
    EXPECT_EQ(dialog.sourceEllipsoidCombo()->isEnabled(), ellipsoidal);
    EXPECT_EQ(dialog.targetEllipsoidCombo()->isEnabled(), ellipsoidal);
    EXPECT_TRUE(dialog.translationEdit(0)->isEnabled() && dialog.scaleEdit()->isEnabled());
  };
  expectEnabled(true, false);
  dialog.typeCombo()->setCurrentIndex(2);
  expectEnabled(false, true);
  dialog.typeCombo()->setCurrentIndex(0);
  expectEnabled(true, false);
}

TEST_F(SetDialog, rotations_split_and_join_as_degrees_minutes_and_seconds) {
  TransformationSet set = namedSet("R");
  set.rotation = {-0.5, -10.5, 1e-7};
  ParameterSetDialog dialog(set, ellipsoids, stored);
  auto texts = [&](int i) {
    const DmsEdit* edit = dialog.rotationEdit(i);
    return QStringList{edit->degreesEdit()->text(), edit->minutesEdit()->text(), edit->secondsEdit()->text()};
  };
  EXPECT_EQ(texts(0), (QStringList{"0", "-30", "0"})) << "the sign stands on the first non-zero part";
  EXPECT_EQ(texts(1), (QStringList{"-10", "30", "0"}));

  dialog.rotationEdit(0)->degreesEdit()->setText("-0");
  dialog.rotationEdit(0)->minutesEdit()->setText("30");
  dialog.rotationEdit(1)->secondsEdit()->setText("36");
  ASSERT_TRUE(accept(dialog)) << errors.join("\n").toStdString();
  EXPECT_EQ(dialog.set().rotation[0], -0.5) << "-0 degrees keeps its sign";
  EXPECT_DOUBLE_EQ(dialog.set().rotation[1], -10.51);
  EXPECT_EQ(dialog.set().rotation[2], 1e-7) << "an untouched rotation keeps its exact value";
}

// The scale has an edit for m and one for m − 1; the radio buttons enable
// one (m − 1 for types 1 and 2 at opening, m for type 0); leaving one
// shows the value in the other; OK takes the enabled one.
TEST_F(SetDialog, the_scale_is_entered_as_m_or_as_m_minus_1_and_leaving_one_edit_fills_the_other) {
  for (int type : {0, 1, 2}) {
    TransformationSet set = namedSet("S", "", type);
    set.scale = 1.0000083;
    ParameterSetDialog dialog(set, ellipsoids, stored);
    EXPECT_EQ(dialog.scaleCorrectionButton()->isChecked(), type != 0) << type;
    EXPECT_EQ(dialog.correctionEdit()->isEnabled(), type != 0) << type;
    EXPECT_EQ(dialog.factorEdit()->isEnabled(), type == 0) << type;
    EXPECT_EQ((QStringList{dialog.factorEdit()->text(), dialog.correctionEdit()->text()}),
              (QStringList{"1.0000083", "0.0000083"}));
  }
  ParameterSetDialog dialog(namedSet("S"), ellipsoids, stored);
  dialog.factorEdit()->setText("1.5");
  emit dialog.factorEdit()->editingFinished();
  EXPECT_EQ(dialog.correctionEdit()->text(), "0.5");
  dialog.scaleCorrectionButton()->setChecked(true);
  EXPECT_TRUE(dialog.correctionEdit()->isEnabled() && !dialog.factorEdit()->isEnabled());
  dialog.correctionEdit()->setText("2.5e-6");
  emit dialog.correctionEdit()->editingFinished();
  EXPECT_EQ(dialog.factorEdit()->text(), "1.0000025");
  dialog.correctionEdit()->setText("-0.0001");
  ASSERT_TRUE(accept(dialog)) << "OK takes the enabled edit as it stands";
  EXPECT_EQ(dialog.set().scale, 1.0 - 0.0001);
}

// The ellipsoid lists show the set's ellipsoids for type 2, the empty
// entry for the other types.
TEST_F(SetDialog, the_ellipsoid_lists_show_the_empty_entry_for_types_0_and_1) {
  for (int type : {0, 1, 2}) {
    TransformationSet set = namedSet("E", "", type);
    set.sourceEllipsoid = ellipsoids[0];
    set.targetEllipsoid = ellipsoids[1];
    ParameterSetDialog dialog(set, ellipsoids, stored);
    EXPECT_EQ((QStringList{dialog.sourceEllipsoidCombo()->currentText(), dialog.targetEllipsoidCombo()->currentText()}),
              (type == 2 ? QStringList{"Bessel", "GRS80"} : QStringList{"", ""}))
        << type;
  }
}

// Values show the digits their unit needs (metres to 0.1 mm, m − 1 in ppm
// beside the edit); a field left as shown keeps the set's exact value.
TEST_F(SetDialog, values_show_the_digits_of_their_unit_and_keep_their_exact_value) {
  TransformationSet set = namedSet("D");
  set.translation = {1.7667491848806682e-11, 582.13249999, -105.41};
  set.auxiliary = {3866125.312345678, 0, 0, 0, 0, 0};
  set.scale = 1.0 + 6.7e-6;
  ParameterSetDialog dialog(set, ellipsoids, stored);
  dialog.scaleCorrectionButton()->setChecked(true);
  const QStringList shown{dialog.translationEdit(0)->text(), dialog.translationEdit(1)->text(),
                          dialog.translationEdit(2)->text(), dialog.auxiliaryEdit(0)->text()};
  EXPECT_EQ(shown, (QStringList{"0.0000", "582.1325", "-105.4100", "3866125.3123"}));
  QStringList ppm;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) {
    if (label->text().endsWith(" ppm")) ppm << label->text();
  }
  EXPECT_EQ(ppm, QStringList{"= 6.7 ppm"});
  ASSERT_TRUE(accept(dialog));
  EXPECT_EQ(dialog.set().translation, set.translation);
  EXPECT_EQ(dialog.set().auxiliary, set.auxiliary);
  EXPECT_EQ(dialog.set().scale, set.scale);
}

TEST_F(SetDialog, a_field_without_a_number_is_named_and_keeps_the_dialog_open) {
  ParameterSetDialog dialog(namedSet("N"), ellipsoids, stored);
  dialog.translationEdit(1)->setText("12,5");
  EXPECT_FALSE(accept(dialog));
  EXPECT_EQ(errors, QStringList{text(str::SetNumberNeeded, {"Translation 2 [m]"})});
  dialog.translationEdit(1)->setText("12.5");
  dialog.rotationEdit(2)->minutesEdit()->setText("1.5");
  EXPECT_FALSE(accept(dialog));
  EXPECT_EQ(errors, QStringList{text(str::SetNumberNeeded, {"Rotation 3"})});
}

// --- Stored-transformations page -----------------------------------------------

// The main window on a program directory whose Transformation.db the tests
// write; the set dialog is replaced by `respond`.
class StoredPage : public Gui {
 protected:
  std::filesystem::path file() const { return home / kTransformationFileName; }
  void store(const TransformationDatabase::SetList& sets) {
    writeFile(file(), TransformationDatabase::Encode(sets));
  }
  TransformationDatabase::SetList onDisk() const {
    TransformationDatabase::SetList sets;
    std::string problem;
    EXPECT_TRUE(TransformationDatabase::Decode(readFile(file()), sets, problem)) << problem;
    return sets;
  }
  static std::vector<std::string> names(const TransformationDatabase::SetList& sets) {
    std::vector<std::string> list;
    for (const TransformationSet& set : sets) list.push_back(set.name + "/" + set.description);
    return list;
  }

  // A main window; the page's set dialog answers through `respond` and
  // records the sets it was shown.
  std::unique_ptr<MainDialog> open() {
    auto dialog = std::make_unique<MainDialog>(state);
    page = dialog->storedPage();
    page->setSetPrompt([this](const TransformationSet& set, int captionId) {
      shown.push_back(set);
      captions.push_back(captionId);
      return respond(set);
    });
    return dialog;
  }
  void select(std::initializer_list<int> rows) {
    page->list()->clearSelection();
    for (int row : rows) page->list()->topLevelItem(row)->setSelected(true);
  }

  StoredTransformationsPage* page = nullptr;
  std::function<std::optional<TransformationSet>(const TransformationSet&)> respond =
      [](const TransformationSet&) { return std::nullopt; };
  std::vector<TransformationSet> shown;
  std::vector<int> captions;
};

TEST_F(StoredPage, is_the_third_tab_and_lists_name_type_and_description) {
  TransformationSet second = namedSet("Gau\xDF", "second");
  second.type = 1;
  store({namedSet("Alpha", "first"), second});
  auto dialog = open();
  EXPECT_EQ(dialog->page(MainDialog::kStoredTab), page);
  ASSERT_EQ(page->list()->topLevelItemCount(), 2);
  const QTreeWidgetItem* head = page->list()->headerItem();
  EXPECT_EQ((QStringList{head->text(0), head->text(1), head->text(2)}),
            (QStringList{text(str::ColumnSetName), text(str::ColumnSetType), text(str::ColumnSetDescription)}));
  const QTreeWidgetItem* row = page->list()->topLevelItem(1);
  EXPECT_EQ((QStringList{row->text(0), row->text(1), row->text(2)}),
            (QStringList{QString::fromUtf8("Gauß"), text(str::SetTypeLinearised), "second"}));
}

// Export writes the selected set as JSON or as its PROJ pipeline; Import
// reads either back and offers it in the set dialog before it is stored.
TEST_F(StoredPage, export_and_import_carry_a_set_as_json_and_as_a_proj_pipeline) {
  TransformationSet set = namedSet("Gau\xDF", "exported");
  set.translation = {582.5, 105.25, 414.125};
  set.rotation = {0.0001, -0.0002, 0.0003};
  set.scale = 1.0000083;
  store({set});
  auto dialog = open();
  select({0});
  const QString json = QString::fromStdString((home / "set.json").string());
  const QString proj = QString::fromStdString((home / "set.proj").string());
  ASSERT_TRUE(page->exportSelected(json));
  ASSERT_TRUE(page->exportSelected(proj));
  EXPECT_EQ(readFile(home / "set.proj").rfind("+proj=helmert", 0), 0u) << readFile(home / "set.proj");

  respond = [](const TransformationSet& offered) {
    TransformationSet named = offered;
    named.name = offered.name.empty() ? "From PROJ" : "Copy";
    return std::optional<TransformationSet>(named);
  };
  ASSERT_TRUE(page->importSet(json));
  ASSERT_TRUE(page->importSet(proj));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].name, set.name) << "the JSON's name is offered";
  const TransformationDatabase::SetList sets = onDisk();
  ASSERT_EQ(names(sets), (std::vector<std::string>{"Gau\xDF/exported", "Copy/exported", "From PROJ/"}));
  EXPECT_EQ(sets[1].translation, set.translation);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(sets[2].translation[i], set.translation[i], 1e-9);
    EXPECT_NEAR(sets[2].rotation[i], set.rotation[i], 1e-12);
  }
  EXPECT_NEAR(sets[2].scale, set.scale, 1e-15);

  // A JSON whose name is taken: the dialog comes back with what was entered.
  int asked = 0;
  respond = [&](const TransformationSet& offered) {
    TransformationSet edited = offered;
    if (asked++ == 0) {
      edited.description = "entered";  // the taken name kept
    } else {
      edited.name = "Third";
    }
    return std::optional<TransformationSet>(edited);
  };
  shown.clear();
  ASSERT_TRUE(page->importSet(json));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].description, "entered");
  EXPECT_EQ(names(onDisk()).back(), "Third/entered");

  errors.clear();
  writeFile(home / "bad.proj", "+proj=utm +zone=32");
  EXPECT_FALSE(page->importSet(QString::fromStdString((home / "bad.proj").string())));
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].startsWith(text(str::SetImportFailed, {"\x01", ""}).section("\x01", 0, 0)));
  EXPECT_EQ(onDisk().size(), 4u);
}

TEST_F(StoredPage, a_damaged_file_is_reported_when_the_page_loads) {
  writeFile(file(), TransformationDatabase::Encode({namedSet("A")}) + "junk");
  auto dialog = open();
  ASSERT_EQ(errors.size(), 1);
  // Message 1501 names the file and where its bytes will be kept.
  EXPECT_TRUE(errors[0].contains(QString::fromStdString(file().string() + " ")) &&
              errors[0].contains(QString::fromStdString(file().string() + ".damaged")))
      << errors[0].toStdString();
  EXPECT_EQ(page->list()->topLevelItemCount(), 1) << "the sets read before the damage are shown";
}

TEST_F(StoredPage, buttons_follow_the_selection) {
  store({namedSet("A"), namedSet("B")});
  auto dialog = open();
  auto expectEnabled = [&](bool edit, bool del, bool compute) {
    EXPECT_TRUE(page->newButton()->isEnabled());
    EXPECT_EQ(page->editButton()->isEnabled(), edit);
    EXPECT_EQ(page->deleteButton()->isEnabled(), del);
    EXPECT_EQ(page->computeButton()->isEnabled(), compute);
  };
  expectEnabled(false, false, false);
  select({0});
  expectEnabled(true, true, true);
  select({0, 1});
  expectEnabled(false, true, false);
  select({});
  expectEnabled(false, false, false);
}

TEST_F(StoredPage, new_appends_the_set_to_the_file) {
  store({namedSet("A")});
  auto dialog = open();
  respond = [](const TransformationSet& set) -> std::optional<TransformationSet> {
    EXPECT_EQ(set.type, 0);
    EXPECT_EQ(set.name, "");
    return namedSet("New", "made", 1);
  };
  page->newSet();
  EXPECT_EQ(names(onDisk()), (std::vector<std::string>{"A/", "New/made"}));
  EXPECT_EQ(onDisk()[1].type, 1);
  ASSERT_EQ(page->list()->topLevelItemCount(), 2);
  EXPECT_EQ(page->list()->topLevelItem(1)->text(0), "New");
  EXPECT_EQ(captions, std::vector<int>{str::SetDialogTitle});
}

TEST_F(StoredPage, new_cancelled_writes_nothing) {
  auto dialog = open();
  page->newSet();
  EXPECT_EQ(shown.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(StoredPage, edit_replaces_the_set_in_place) {
  store({namedSet("A", "a"), namedSet("B", "b"), namedSet("C", "c")});
  auto dialog = open();
  respond = [](const TransformationSet& set) -> std::optional<TransformationSet> {
    TransformationSet edited = set;
    edited.name = "B2";
    edited.scale = 1.5;
    return edited;
  };
  select({1});
  page->editSelected();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].description, "b");
  EXPECT_EQ(names(onDisk()), (std::vector<std::string>{"A/a", "B2/b", "C/c"}));
  EXPECT_EQ(onDisk()[1].scale, 1.5);
  EXPECT_EQ(page->list()->topLevelItem(1)->text(0), "B2");
}

TEST_F(StoredPage, edit_offers_every_set_of_the_name_one_after_another) {
  store({namedSet("Twin", "first"), namedSet("Other", "o"), namedSet("Twin", "second")});
  auto dialog = open();
  // The first is cancelled, the second changed.
  respond = [](const TransformationSet& set) -> std::optional<TransformationSet> {
    if (set.description == "first") return std::nullopt;
    TransformationSet edited = set;
    edited.description = "second, changed";
    return edited;
  };
  select({0});
  page->editSelected();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].description, "first");
  EXPECT_EQ(shown[1].description, "second");
  EXPECT_EQ(names(onDisk()), (std::vector<std::string>{"Twin/first", "Other/o", "Twin/second, changed"}));
}

// The sets of a selected name are offered until one dialog is confirmed:
// confirming the first (renamed here) offers no other.
TEST_F(StoredPage, a_confirmed_dialog_ends_the_offers_of_its_name) {
  store({namedSet("Twin", "first"), namedSet("Twin", "second")});
  auto dialog = open();
  respond = [](const TransformationSet& set) -> std::optional<TransformationSet> {
    TransformationSet edited = set;
    edited.name = "Renamed";
    edited.description += "!";
    return edited;
  };
  select({1});
  page->editSelected();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(names(onDisk()), (std::vector<std::string>{"Renamed/first!", "Twin/second"}));
}

TEST_F(StoredPage, delete_asks_and_removes_the_selected_sets) {
  store({namedSet("A"), namedSet("B"), namedSet("C")});
  auto dialog = open();
  select({0, 2});
  answer = false;
  page->deleteSelected();
  EXPECT_EQ(questions, QStringList{text(str::DeleteSetQuestion)});
  EXPECT_EQ(onDisk().size(), 3u) << "no keeps every set";

  answer = true;
  page->deleteSelected();
  EXPECT_EQ(names(onDisk()), (std::vector<std::string>{"B/"}));
  ASSERT_EQ(page->list()->topLevelItemCount(), 1);
  EXPECT_FALSE(page->deleteButton()->isEnabled());
}

TEST_F(StoredPage, delete_removes_the_selected_one_of_two_sets_of_a_name) {
  store({namedSet("Twin", "first"), namedSet("Twin", "second")});
  auto dialog = open();
  select({1});
  page->deleteSelected();
  EXPECT_EQ(names(onDisk()), (std::vector<std::string>{"Twin/first"}));
}

TEST_F(StoredPage, a_set_another_program_wrote_meanwhile_stays) {
  store({namedSet("Mine")});
  auto dialog = open();
  store({namedSet("Mine"), namedSet("Theirs", "from the command line")});
  respond = [](const TransformationSet&) -> std::optional<TransformationSet> { return namedSet("Added"); };
  page->newSet();
  EXPECT_EQ(names(onDisk()), (std::vector<std::string>{"Mine/", "Theirs/from the command line", "Added/"}));
  EXPECT_EQ(page->list()->topLevelItemCount(), 3) << "the list shows the file as it is now";
}

TEST_F(StoredPage, an_edited_set_another_program_removed_meanwhile_is_kept_as_a_new_one) {
  store({namedSet("Gone", "old"), namedSet("Kept")});
  auto dialog = open();
  respond = [](const TransformationSet& set) -> std::optional<TransformationSet> {
    TransformationSet edited = set;
    edited.description = "edited";
    return edited;
  };
  select({0});
  store({namedSet("Kept")});  // removed behind the page's back
  page->editSelected();
  EXPECT_EQ(names(onDisk()), (std::vector<std::string>{"Kept/", "Gone/edited"}));
  EXPECT_EQ(errors, QStringList{text(str::SetEditedSetGone, {"Gone"})});
}

TEST_F(StoredPage, compute_applies_the_selected_set_to_the_input_file) {
  TransformationSet shift = namedSet("Shift");
  shift.translation = {10.0, 20.0, 30.0};
  store({namedSet("Other"), shift});
  auto dialog = open();
  writeFile(home / "in.txt", "P1 100 200 300\n");
  page->inputEdit()->setText(QString::fromStdString((home / "in.txt").string()));
  page->outputEdit()->setText(QString::fromStdString((home / "out.txt").string()));
  select({1});
  EXPECT_TRUE(page->compute());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(closingOf(errors[0]), text(str::ApplyDone));
  EXPECT_TRUE(errors[0].contains(text(str::ResultSetApplied, {"Shift", text(str::SetTypeRigorous)})));
  // The first written value belongs to the second coordinate.
  const std::string out = readFile(home / "out.txt");
  EXPECT_NE(out.find("P1"), std::string::npos) << out;
  EXPECT_NE(out.find("210.000"), std::string::npos) << out;
  EXPECT_NE(out.find("120.000"), std::string::npos) << out;
  EXPECT_NE(out.find("330.000"), std::string::npos) << out;
}

TEST_F(StoredPage, compute_checks_the_output_folder_first) {
  store({namedSet("Shift")});
  auto dialog = open();
  writeFile(home / "in.txt", "P1 100 200 300\n");
  page->inputEdit()->setText(QString::fromStdString((home / "in.txt").string()));
  page->outputEdit()->setText("/nonexistent/dir/out.txt");
  select({0});
  EXPECT_FALSE(page->compute());
  EXPECT_EQ(errors, QStringList{text(str::FolderMissing, {"/nonexistent/dir"})});
}

TEST_F(StoredPage, a_failed_run_says_164) {
  store({namedSet("Shift")});
  auto dialog = open();
  const QString missing = QString::fromStdString((home / "missing.txt").string());
  page->inputEdit()->setText(missing);
  page->outputEdit()->setText(QString::fromStdString((home / "out.txt").string()));
  select({0});
  EXPECT_FALSE(page->compute());
  // One box with the error icon: the closing message, then its cause.
  EXPECT_EQ(errors, QStringList{text(str::ApplyFailed) + "\n\n" + text(str::SourceUnreadable, {missing})});
  EXPECT_EQ(kinds, std::vector<DialogKind>{DialogKind::Error});
}

// A spatial run with the storing switches as given; the page's set dialog
// names the set.
class OfferedSet : public StoredPage {
 protected:
  void run(int saveParams, int savePointInfo) {
    dialog = open();
    respond = [](const TransformationSet& set) -> std::optional<TransformationSet> {
      TransformationSet named = set;
      named.name = "Estimated";
      return named;
    };
    EstimationPage* estimation = dialog->estimationPage();
    estimation->setOptionsPrompt3D([=](const SettingsStore&, SpatialModel) {
      EstimationOptions3D options;
      options.saveParams = saveParams;
      options.savePointInfo = savePointInfo;
      return std::optional<EstimationOptions3D>(options);
    });
    const auto reference = test::sourceDir() / "tests" / "reference";
    estimation->reportEdit()->setText(QString::fromStdString((home / "r3.aus").string()));
    estimation->sourceEdit()->setText(QString::fromStdString((reference / "helmert-source.txt").string()));
    estimation->targetEdit()->setText(QString::fromStdString((reference / "helmert-target-pv.txt").string()));
    estimation->list()->setCurrentItem(estimation->list()->topLevelItem(2));
    ASSERT_TRUE(estimation->compute());
    // The set is offered after the run's message; stored without its points
    // after a run that distributed its residuals, it says so first.
    const bool told = saveParams != 0 && savePointInfo == 0;
    ASSERT_EQ(errors.size(), told ? 2u : 1u);
    EXPECT_EQ(closingOf(errors[0]), text(str::EstimationDone));
    if (told) {
      EXPECT_TRUE(errors[1].contains(QString(text(str::StoredWithoutPoints)).left(40))) << errors[1].toStdString();
    }
  }
  std::unique_ptr<MainDialog> dialog;
};

TEST_F(OfferedSet, is_stored_without_its_points_unless_asked) {
  ASSERT_NO_FATAL_FAILURE(run(1, 0));
  ASSERT_EQ(captions, std::vector<int>{str::SetDialogTitleStore});
  EXPECT_TRUE(shown[0].points.empty());
  const auto sets = onDisk();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].name, "Estimated");
  EXPECT_EQ(sets[0].type, 0);
  EXPECT_EQ(sets[0].scale, dialog->estimationPage()->lastSet().scale);
  EXPECT_EQ(page->list()->topLevelItemCount(), 1);
}

TEST_F(OfferedSet, keeps_its_points_with_save_point_info) {
  ASSERT_NO_FATAL_FAILURE(run(1, 1));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_FALSE(shown[0].points.empty());
  EXPECT_EQ(onDisk()[0].points.size(), dialog->estimationPage()->lastSet().points.size());
}

TEST_F(OfferedSet, is_not_offered_without_save_params) {
  ASSERT_NO_FATAL_FAILURE(run(0, 1));
  EXPECT_TRUE(shown.empty());
  EXPECT_FALSE(std::filesystem::exists(file()));
}


TEST_F(OfferedSet, an_ellipsoidal_run_offers_its_set_but_a_two_scale_run_never) {
  dialog = open();
  respond = [](const TransformationSet& set) -> std::optional<TransformationSet> { return set; };
  EstimationPage* estimation = dialog->estimationPage();
  int scaleKind = 1;
  estimation->setOptionsPrompt3DBL([&](const SettingsStore&, const EllipsoidList& list) {
    EllipsoidalChoice choice;
    choice.options.preTranslate = 0;
    choice.options.saveParams = 1;
    choice.options.setScaleKind(scaleKind);
    choice.sourceEllipsoid = list[0];
    choice.targetEllipsoid = list[0];
    return std::optional<EllipsoidalChoice>(choice);
  });
  writeEllipsoidalPoints(home / "bl-source.txt", home / "bl-target.txt");
  estimation->list()->setCurrentItem(estimation->list()->topLevelItem(4));
  estimation->reportEdit()->setText(QString::fromStdString((home / "bl.aus").string()));
  estimation->sourceEdit()->setText(QString::fromStdString((home / "bl-source.txt").string()));
  estimation->targetEdit()->setText(QString::fromStdString((home / "bl-target.txt").string()));

  ASSERT_TRUE(estimation->compute());
  ASSERT_EQ(captions, std::vector<int>{str::SetDialogTitleStore});
  EXPECT_EQ(shown[0].type, 2);
  EXPECT_TRUE(shown[0].points.empty()) << "SavePPInfo is off";

  scaleKind = 2;
  ASSERT_TRUE(estimation->compute());
  EXPECT_EQ(captions.size(), 1u) << "a set holds one scale factor";
}


// The NTv2 page on a 3 × 3 ASCII grid over 50°–50°10′ N, 9°50′–10° E whose
// nodes all shift by +1.8″ in latitude and −3.6″ in longitude (positive
// west, so 0.001° to the east).
class GridPage : public Gui {
 protected:
  void SetUp() override {
    Gui::SetUp();
    std::string grid =
        "NUM_OREC 11\nNUM_SREC 11\nNUM_FILE 1\nGS_TYPE SECONDS\nVERSION NTv2.0\nSYSTEM_F A\nSYSTEM_T B\n"
        "MAJOR_F 6377397.155\nMINOR_F 6356078.963\nMAJOR_T 6378137\nMINOR_T 6356752.314\n"
        "SUB_NAME G\nPARENT NONE\nCREATED x\nUPDATED x\nS_LAT 180000\nN_LAT 180600\nE_LONG -36000\n"
        "W_LONG -35400\nLAT_INC 300\nLONG_INC 300\nGS_COUNT 9\n";
    for (int node = 0; node < 9; ++node) grid += "1.8 -3.6 0 0\n";
    writeFile(home / "grid.txt", grid);
    dialog = std::make_unique<MainDialog>(state);
    page = dialog->gridShiftPage();
    ASSERT_NE(page, nullptr);
    page->gridEdit()->setText(path("grid.txt"));
    page->inputEdit()->setText(path("in.txt"));
    page->outputEdit()->setText(path("out.txt"));
  }
  QString path(const char* name) const { return QString::fromStdString((home / name).string()); }

  std::unique_ptr<MainDialog> dialog;
  GridShiftPage* page = nullptr;
};

TEST_F(GridPage, is_the_fifth_tab_and_shifts_forward_then_inverse) {
  EXPECT_EQ(dialog->page(MainDialog::kGridShiftTab), page);
  EXPECT_FALSE(page->finestCheck()->isChecked());
  EXPECT_TRUE(page->forwardButton()->isChecked());
  writeFile(home / "in.txt", "P1 50.05 9.9 123.4\n");
  EXPECT_TRUE(page->compute());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(closingOf(errors[0]), text(str::GridShiftDone));
  EXPECT_NE(readFile(home / "out.txt").find("P1   50.0505000000    9.9010000000"), std::string::npos)
      << readFile(home / "out.txt");

  errors.clear();
  page->inverseButton()->setChecked(true);
  EXPECT_TRUE(page->compute());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(closingOf(errors[0]), text(str::GridShiftDone));
  EXPECT_NE(readFile(home / "out.txt").find("P1   50.0495000000    9.8990000000"), std::string::npos)
      << readFile(home / "out.txt");
}

// The page names a grid's datums and extent; the viewer shows a binary
// grid's header records as text. BETA2007.gsb (Debian proj-data) covers
// 169200″–199080″ N and 19800″–56400″ E: 47°–55.3° N, 5.5°–15.6667° E.
TEST_F(GridPage, a_grid_is_described_and_a_binary_one_viewed_as_its_header) {
  page->describeGrid();
  EXPECT_EQ(page->gridInfo()->text(), text(str::GridInfo, {"A", "B", "1", "50°", "50.1667°", "9.8333°", "10°"}));
  const QString beta = QStringLiteral("/usr/share/proj/BETA2007.gsb");
  page->gridEdit()->setText(beta);
  page->describeGrid();
  EXPECT_EQ(page->gridInfo()->text(),
            text(str::GridInfo, {"DHDN90", "ETRS89", "1", "47°", "55.3°", "5.5°", "15.6667°"}));
  for (const char* name : {"missing.gsb", "fifo.gsb"}) {  // a FIFO would hold the window
    if (std::string(name) == "fifo.gsb") {
      ASSERT_EQ(mkfifo((home / name).c_str(), 0600), 0);
    }
    page->gridEdit()->setText(path(name));
    page->describeGrid();
    EXPECT_TRUE(page->gridInfo()->text().contains(path(name))) << name;
  }

  FileViewer viewer(beta);
  ASSERT_TRUE(viewer.loaded());
  const QString shown = viewer.view()->toPlainText();
  for (const char* line : {"SYSTEM_F DHDN90", "S_LAT    169200.000000", "GS_COUNT 5208", "END"}) {
    EXPECT_TRUE(shown.contains(line)) << line << " in\n" << shown.toStdString();
  }
  EXPECT_FALSE(shown.contains(QChar(0))) << "no bytes of the nodes";
}

// The grid's file dialog lists binary (*.gsb) and ASCII grids (*.gsa, *.txt).
TEST_F(GridPage, the_grid_file_dialog_lists_gsb_gsa_and_txt) {
  QStringList filters;
  services::setFileDialogRunner([&](QFileDialog& chooser) {
    filters = chooser.nameFilters();
    return false;
  });
  auto* grid = page->gridEdit()->parentWidget()->findChild<QGridLayout*>();
  qobject_cast<QPushButton*>(grid->itemAtPosition(0, 2)->widget())->click();
  services::setFileDialogRunner({});
  ASSERT_FALSE(filters.isEmpty());
  EXPECT_TRUE(filters[0].endsWith("(*.gsb *.gsa *.txt)")) << filters[0].toStdString();
}

TEST_F(GridPage, a_point_outside_the_grid_is_reported_and_left_out) {
  writeFile(home / "in.txt", "P1 50.05 9.9\nFAR 48 9\n");
  EXPECT_TRUE(page->compute());
  // One box: the result, its counts, then the notice naming the first point.
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(closingOf(errors[0]), text(str::GridShiftDone));
  EXPECT_TRUE(errors[0].endsWith(text(str::PointsOutsideGridForward, {"1", "FAR"}))) << errors[0].toStdString();
  const std::string out = readFile(home / "out.txt");
  EXPECT_NE(out.find("P1"), std::string::npos) << out;
  EXPECT_EQ(out.find("FAR"), std::string::npos) << out;
}

TEST_F(GridPage, names_are_required_and_a_missing_grid_gives_165) {
  writeFile(home / "in.txt", "P1 50.05 9.9\n");
  for (QLineEdit* edit : {page->outputEdit(), page->inputEdit(), page->gridEdit()}) {
    const QString name = edit->text();
    edit->setText(" ");
    EXPECT_FALSE(page->compute());
    edit->setText(name);
  }
  EXPECT_EQ(errors, (QStringList{text(str::NoOutputName), text(str::NoInputName), text(str::NoGridName)}));

  errors.clear();
  page->gridEdit()->setText(path("missing.gsb"));
  EXPECT_FALSE(page->compute());
  EXPECT_EQ(errors, QStringList{text(str::FileNotOpened, {path("missing.gsb")})});
  EXPECT_FALSE(std::filesystem::exists(home / "out.txt"));
}


class GeodeticTab : public Gui {
 protected:
  void SetUp() override {
    Gui::SetUp();
    dialog = std::make_unique<MainDialog>(state);
    page = dialog->geodeticPage();
    ASSERT_NE(page, nullptr);
    page->inputEdit()->setText(path("in.txt"));
    page->outputEdit()->setText(path("out.aus"));
  }
  QString path(const char* name) const { return QString::fromStdString((home / name).string()); }

  std::unique_ptr<MainDialog> dialog;
  GeodeticPage* page = nullptr;
};

// The distance S, the last field of the output's only data line (after the
// header and the rule).
double distanceOfOnlyLine(const std::string& out) {
  std::istringstream lines(out);
  std::string header, rule, data, extra;
  std::getline(lines, header);
  std::getline(lines, rule);
  std::getline(lines, data);
  EXPECT_FALSE(std::getline(lines, extra) && !extra.empty()) << out;
  EXPECT_EQ(header + "\n" + rule + "\n", GeodeticHeader(false)) << out;
  // Nr B1 L1 B2 L2 A1 A2 S
  std::istringstream fields(data);
  std::string name;
  std::vector<double> values;
  fields >> name;
  for (double value; fields >> value;) values.push_back(value);
  EXPECT_EQ(name, "P") << out;
  EXPECT_EQ(values.size(), 7u) << out;
  return values.empty() ? 0.0 : values.back();
}

TEST_F(GeodeticTab, inverse_problem_writes_header_rule_and_the_distance_on_the_selected_ellipsoid) {
  EXPECT_EQ(dialog->page(MainDialog::kGeodeticTab), page);
  writeFile(home / "in.txt", "P 50 10 51 11\n");
  ASSERT_TRUE(page->selectTask(static_cast<int>(GeodeticTask::Inverse)));
  EXPECT_TRUE(page->compute());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(closingOf(errors[0]), text(str::GeodeticFinished));
  EXPECT_TRUE(errors[0].contains(text(str::ResultLinesLeftOut, {"0"}))) << "lines in, lines out: " << errors[0].toStdString();
  EXPECT_FALSE(errors[0].contains(text(str::ResultPointsLeftOut, {"0"})));
  // Vincenty's inverse formula, computed apart: 131 920.637 m on Bessel
  // (the first ellipsoid), 131 935.963 m on WGS84.
  EXPECT_NEAR(distanceOfOnlyLine(readFile(home / "out.aus")), 131920.637, 1.0);

  errors.clear();
  QComboBox* ellipsoids = dialog->settingsPage()->ellipsoidCombo();
  ellipsoids->setCurrentIndex(ellipsoids->findText("WGS84"));
  ASSERT_GT(ellipsoids->currentIndex(), 0);
  EXPECT_TRUE(page->compute());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(closingOf(errors[0]), text(str::GeodeticFinished));
  EXPECT_NEAR(distanceOfOnlyLine(readFile(home / "out.aus")), 131935.963, 1.0);
}

TEST_F(GeodeticTab, names_and_a_task_leaf_are_required_and_nothing_is_written_without_them) {
  writeFile(home / "in.txt", "P 50 10 51 11\n");
  ASSERT_TRUE(page->selectTask(static_cast<int>(GeodeticTask::ArcLength)));
  for (QLineEdit* edit : {page->inputEdit(), page->outputEdit()}) {
    const QString name = edit->text();
    edit->setText(" ");
    EXPECT_FALSE(page->compute());
    edit->setText(name);
  }
  // Both groups, expanded, with two leaves each; a group cannot run.
  ASSERT_EQ(page->tree()->topLevelItemCount(), 2);
  for (int i = 0; i < 2; ++i) {
    QTreeWidgetItem* group = page->tree()->topLevelItem(i);
    EXPECT_TRUE(group->isExpanded());
    EXPECT_EQ(group->childCount(), 2);
    page->tree()->setCurrentItem(group);
    EXPECT_FALSE(page->compute());
  }
  EXPECT_EQ(errors, (QStringList{text(str::NoInputName), text(str::NoOutputName), text(str::NoGeodeticTaskSelected),
                                 text(str::NoGeodeticTaskSelected)}));
  EXPECT_FALSE(std::filesystem::exists(home / "out.aus"));
}

// Presses Cancel in the progress window, as a person would: at once, or
// once its first line names `phase`. Its timer measures how long the event
// loop went without turning while the job ran.
class CancelPresser : public QObject {
 public:
  explicit CancelPresser(QString phase = {}) : phase_(std::move(phase)) {
    qApp->installEventFilter(this);
    connect(&timer_, &QTimer::timeout, this, &CancelPresser::look);
  }
  ~CancelPresser() override { qApp->removeEventFilter(this); }
  int pressed = 0;
  qint64 longestGapMs = 0;

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    auto* window = qobject_cast<ProgressDialog*>(object);
    if (event->type() != QEvent::Show || window == nullptr) return false;
    window_ = window;
    if (phase_.isEmpty()) return press(), false;
    clock_.start();
    timer_.start(10);
    return false;
  }

 private:
  void look() {
    longestGapMs = std::max(longestGapMs, clock_.restart());
    if (window_ && pressed == 0 && window_->firstLine() == phase_) press();
  }
  void press() {
    ++pressed;
    window_->cancelButton()->click();
  }

  QString phase_;
  QPointer<ProgressDialog> window_;
  QTimer timer_;
  QElapsedTimer clock_;
};

TEST_F(Gui, cancel_in_the_progress_window_keeps_an_existing_output_byte_for_byte) {
  MainDialog dialog(state);
  ConversionPage* page = dialog.conversionPage();
  page->setOptionsPrompt([](const ConversionInfo&, ConversionJob&) { return true; });
  std::string input;
  for (int i = 0; i < 12000; ++i) input += "P" + std::to_string(i) + " 50.5 9.5 100\n";
  writeFile(home / "in.txt", input);
  const std::string before = "an earlier output\r\n\xB0 kept as it is";
  writeFile(home / "out.txt", before);
  page->inputEdit()->setText(QString::fromStdString((home / "in.txt").string()));
  page->outputEdit()->setText(QString::fromStdString((home / "out.txt").string()));
  ASSERT_TRUE(page->selectConversion(1007));
  CancelPresser presser;
  EXPECT_FALSE(page->compute());
  EXPECT_EQ(presser.pressed, 1);
  EXPECT_EQ(readFile(home / "out.txt"), before);
  EXPECT_EQ(errors, QStringList{text(str::RunCancelled)});
  EXPECT_EQ(kinds, std::vector<DialogKind>{DialogKind::Information});
}

TEST_F(Gui, cancel_in_the_estimation_progress_window_keeps_the_report_and_output) {
  MainDialog dialog(state);
  EstimationPage* page = dialog.estimationPage();
  EstimationOptions3D options;
  options.type = 0;  // L1: the two-line window shows its passes
  std::vector<SpatialModel> asked;
  page->setOptionsPrompt3D([&](const SettingsStore&, SpatialModel model) {
    asked.push_back(model);
    return options;
  });
  const auto reference = test::sourceDir() / "tests" / "reference";
  writeFile(home / "r.aus", "earlier report\n");
  writeFile(home / "o.txt", "earlier output\n");
  page->reportEdit()->setText(QString::fromStdString((home / "r.aus").string()));
  page->outputEdit()->setText(QString::fromStdString((home / "o.txt").string()));
  page->sourceEdit()->setText(QString::fromStdString((reference / "helmert-source.txt").string()));
  page->targetEdit()->setText(QString::fromStdString((reference / "helmert-target-pv.txt").string()));
  page->list()->setCurrentItem(page->list()->topLevelItem(3));
  CancelPresser presser;
  EXPECT_FALSE(page->compute());
  EXPECT_EQ(presser.pressed, 1);
  expectEarlierFilesKept();
}

// 200,000 identical points in the plane (L1): the event loop keeps turning
// through every phase, and Cancel in the test phase leaves the files as they were.
TEST_F(Gui, a_long_plane_estimation_keeps_the_window_alive_and_cancels_in_its_test) {
  MainDialog dialog(state);
  EstimationPage* page = dialog.estimationPage();
  page->setOptionsPrompt([](const SettingsStore&) { return EstimationOptions2D{}; });
  std::string source, target;
  char line[120];
  for (int i = 0; i < 200000; ++i) {
    const double y = 3500000.0 + (i % 500) * 40.0, x = 5400000.0 + (i / 500) * 50.0;
    const double noise = 0.001 * ((i * 7919) % 11 - 5);
    source.append(line, std::snprintf(line, sizeof line, "P%d %.4f %.4f\n", i, y, x));
    target.append(line, std::snprintf(line, sizeof line, "P%d %.4f %.4f\n", i, y + 582.0 + noise, x + 105.0 - noise));
  }
  writeFile(home / "s.txt", source);
  writeFile(home / "t.txt", target);
  writeFile(home / "r.aus", "earlier report\n");
  writeFile(home / "o.txt", "earlier output\n");
  for (auto [edit, name] : {std::pair{page->reportEdit(), "r.aus"}, {page->outputEdit(), "o.txt"},
                            {page->sourceEdit(), "s.txt"}, {page->targetEdit(), "t.txt"}}) {
    edit->setText(QString::fromStdString((home / name).string()));
  }
  page->list()->setCurrentItem(page->list()->topLevelItem(0));
  CancelPresser presser(QString::fromStdString(state.table.text(str::PhaseTesting)));
  EXPECT_FALSE(page->compute());
  EXPECT_EQ(presser.pressed, 1);
  EXPECT_LT(presser.longestGapMs, 200);
  expectEarlierFilesKept();
}

// A plane run with an unreadable source line and one point 0.5 m off: the
// box names both files and every count.
TEST_F(Gui, result_message_names_the_files_and_lists_the_counts) {
  MainDialog dialog(state);
  EstimationPage* page = dialog.estimationPage();
  EstimationOptions2D options;
  options.type = 1;  // least squares
  page->setOptionsPrompt([&](const SettingsStore&) { return options; });
  std::string source, target;
  for (int i = 0; i < 8; ++i) {
    const double y = 3500000.0 + 700.0 * (i % 4), x = 5400000.0 + 900.0 * (i / 4) + 130.0 * (i % 3);
    const double wobble = 0.002 * ((i * 7) % 5 - 2);  // a few millimetres, as measured points have
    char line[120];
    std::snprintf(line, sizeof line, "P%d %.4f %.4f\n", i, y, x);
    source += line;
    std::snprintf(line, sizeof line, "P%d %.4f %.4f\n", i, y + 100.0 + wobble + (i == 5 ? 0.5 : 0.0),
                  x - 50.0 - wobble);
    target += line;
  }
  writeFile(home / "s.txt", source + "BAD 3500000,5 5400000,5\n");
  writeFile(home / "t.txt", target);
  const QString report = QString::fromStdString((home / "r.aus").string());
  const QString output = QString::fromStdString((home / "o.txt").string());
  page->reportEdit()->setText(report);
  page->outputEdit()->setText(output);
  page->sourceEdit()->setText(QString::fromStdString((home / "s.txt").string()));
  page->targetEdit()->setText(QString::fromStdString((home / "t.txt").string()));
  page->list()->setCurrentItem(page->list()->topLevelItem(0));
  ASSERT_TRUE(page->compute());
  ASSERT_EQ(errors.size(), 1);
  const QStringList lines = errors[0].split("\n\n")[1].split('\n');
  const QString plot = QString::fromStdString((home / "r.svg").string());
  EXPECT_EQ(lines, (QStringList{text(str::ResultFileWritten, {report}), text(str::ResultFileWritten, {output}),
                                text(str::ResultFileWritten, {plot}), text(str::ResultPointsWritten, {"8"}),
                                text(str::ResultPointsLeftOut, {"0"}), text(str::ResultLinesUnreadable, {"1"}),
                                text(str::ResultGrossErrors, {"1"})}));
  EXPECT_EQ(text(str::ResultGrossErrors, {"1"}), "1 point flagged as a gross error.");
  EXPECT_EQ(kinds, std::vector<DialogKind>{DialogKind::Information});
}

TEST_F(Gui, result_box_opens_the_report_and_its_folder_and_stays_open) {
  QStringList started;
  QList<QUrl> opened;
  services::setLauncher([&](const QString& program, const QStringList& args) {
    started << program + " " + args.join(" ");
    return true;
  });
  services::setLinkOpener([&](const QUrl& url) {
    opened << url;
    return true;
  });
  RunOutcome outcome;
  outcome.written = {"/data/job/r.aus", "/data/job/o.txt"};
  outcome.firstIsReport = true;
  outcome.editor = "kate";
  ResultDialog box("done", outcome);
  box.show();
  ASSERT_NE(box.openFileButton(), nullptr);
  EXPECT_EQ(box.openFileButton()->text().remove('&'), text(str::ButtonOpenReport));
  box.openFileButton()->click();
  box.openFolderButton()->click();
  EXPECT_EQ(started, QStringList{"kate /data/job/r.aus"});
  EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile("/data/job")});
  EXPECT_TRUE(box.isVisible()) << "both can be opened from one box";
  services::setLauncher(nullptr);
  services::setLinkOpener({});
}

// The input is tried before the option dialog; a slip is a notice, a file
// that cannot be read a failure.
TEST_F(Gui, conversion_tries_the_input_before_the_options_dialog) {
  MainDialog dialog(state);
  ConversionPage* page = dialog.conversionPage();
  int prompts = 0;
  page->setOptionsPrompt([&](const ConversionInfo&, ConversionJob&) { return ++prompts, true; });
  writeFile(home / "out.txt", "kept\n");
  page->outputEdit()->setText(QString::fromStdString((home / "out.txt").string()));
  EXPECT_FALSE(page->compute());  // no leaf chosen
  ASSERT_TRUE(page->selectConversion(1000));
  EXPECT_FALSE(page->compute());  // no input named
  const QString missing = QString::fromStdString((home / "missing.txt").string());
  page->inputEdit()->setText(missing);
  EXPECT_FALSE(page->compute());
  EXPECT_EQ(errors, (QStringList{text(str::NoComputationSelected), text(str::NoInputName),
                                 text(str::InputNotOpened, {missing})}));
  EXPECT_EQ(kinds, (std::vector<DialogKind>{DialogKind::Information, DialogKind::Information, DialogKind::Error}));
  EXPECT_EQ(prompts, 0);
  EXPECT_EQ(readFile(home / "out.txt"), "kept\n");
}

// A start and a close write the session only: the command line then still
// converts with the shipped 6 and 3 decimals (it wrote "TP1 52 11 120" once).
TEST_F(Gui, a_start_and_a_close_leave_the_general_settings_to_their_defaults) {
  {
    MainDialog dialog(state);
    dialog.closeWithQuestion();
  }
  EXPECT_FALSE(std::filesystem::exists(settingsFile()));
  EXPECT_TRUE(std::filesystem::exists(sessionPathFor(settingsFile())));
  writeFile(home / "gk.txt", "TP1 4404281.875 5787072.497 120\n");
  std::ostringstream out, err;
  const std::vector<std::string> args = {"--home", home.path().string(), "-q", "convert", "gk-geo",
                                         (home / "gk.txt").string(), (home / "geo.txt").string()};
  ASSERT_EQ(cli::runCli(args, cli::defaultCommands(), out, err, false), 0) << err.str();
  std::istringstream line(readFile(home / "geo.txt"));
  std::string name, b, l, h;
  line >> name >> b >> l >> h;
  EXPECT_EQ(b.size() - b.find('.') - 1, 6u) << b;
  EXPECT_EQ(l.size() - l.find('.') - 1, 6u) << l;
  EXPECT_EQ(h, "120.000");
}

// A session an earlier version kept in the settings file comes back, and the
// first close moves all of it into the session file, unchanged values too.
TEST_F(Gui, an_earlier_session_in_the_settings_file_moves_whole_into_the_session_file) {
  std::filesystem::create_directories(home / "config");
  const std::string old = "[GeneralSettings]\nNachkommaGeog=7\n[DesktopSession]\nConversionInput=/data/in.txt\n";
  writeFile(settingsFile(), old);
  {
    MainDialog dialog(state);
    EXPECT_EQ(dialog.conversionPage()->inputEdit()->text(), "/data/in.txt");
    dialog.closeWithQuestion();
  }
  EXPECT_NE(readFile(sessionPathFor(settingsFile())).find("ConversionInput=/data/in.txt"), std::string::npos);
  EXPECT_EQ(readFile(settingsFile()), old) << "nothing is written into the settings file";
}

// Paths, the chosen conversion and computation, the page and the window's
// size come back after a restart; the sections others read stay as they were.
TEST_F(Gui, paths_and_choices_survive_a_restart_in_a_section_of_their_own) {
  std::filesystem::create_directories(home / "config");
  const std::string others = "[GeneralSettings]\nNachkommaGeog=7\n[L0Settings]\nL0=9\n";
  writeFile(settingsFile(), others);
  const QString in = QString::fromStdString((home / "in.txt").string());
  const QString report = QString::fromStdString((home / "r.aus").string());
  {
    MainDialog dialog(state);
    dialog.conversionPage()->inputEdit()->setText(in);
    ASSERT_TRUE(dialog.conversionPage()->selectConversion(2005));
    dialog.estimationPage()->reportEdit()->setText(report);
    dialog.estimationPage()->list()->setCurrentItem(dialog.estimationPage()->list()->topLevelItem(3));
    dialog.gridShiftPage()->inverseButton()->setChecked(true);
    ASSERT_TRUE(dialog.geodeticPage()->selectTask(static_cast<int>(GeodeticTask::ArcLength)));
    dialog.resize(1111, 777);
    dialog.tabs()->setCurrentIndex(MainDialog::kEstimationTab);
    dialog.closeWithQuestion();
  }
  MainDialog again(state);
  EXPECT_EQ(again.tabs()->currentIndex(), MainDialog::kEstimationTab);
  EXPECT_EQ(again.conversionPage()->inputEdit()->text(), in);
  EXPECT_EQ(again.conversionPage()->tree()->currentItem()->data(0, Qt::UserRole).toInt(), 2005);
  EXPECT_EQ(again.estimationPage()->reportEdit()->text(), report);
  EXPECT_EQ(again.estimationPage()->list()->currentItem(), again.estimationPage()->list()->topLevelItem(3));
  EXPECT_TRUE(again.gridShiftPage()->inverseButton()->isChecked());
  EXPECT_EQ(again.geodeticPage()->tree()->currentItem()->data(0, Qt::UserRole).toInt(),
            static_cast<int>(GeodeticTask::ArcLength));
  EXPECT_EQ(again.size(), QSize(1111, 777));
  EXPECT_EQ(readFile(settingsFile()), others) << "the settings file changes only when settings are saved";
  EXPECT_NE(readFile(sessionPathFor(settingsFile())).find("[DesktopSession]"), std::string::npos);
}

// A name typed without a suffix gets the dialog's; the folder a dialog was
// left in is where it opens next time, after a restart too.
TEST_F(Gui, file_dialogs_add_their_suffix_and_remember_their_folder) {
  std::filesystem::create_directories(home / "work");
  const QString work = QString::fromStdString((home / "work").string());
  QStringList startedIn;
  QString typed = "result";
  services::setFileDialogRunner([&](QFileDialog& dialog) {
    startedIn << dialog.directory().absolutePath();
    dialog.setDirectory(work);
    dialog.selectFile(typed);
    return true;
  });
  {
    MainDialog dialog(state);
    QLineEdit* output = dialog.conversionPage()->outputEdit();
    auto choose = [&](int row) {
      auto* grid = output->parentWidget()->findChild<QGridLayout*>();
      qobject_cast<QPushButton*>(grid->itemAtPosition(row, 2)->widget())->click();
    };
    choose(1);
    EXPECT_EQ(output->text(), work + "/result.txt") << "an output point file";
    writeFile(home / "work" / "points.txt", "P 1 2\n");
    typed = "points";
    choose(0);
    EXPECT_EQ(dialog.conversionPage()->inputEdit()->text(), work + "/points.txt");
    dialog.closeWithQuestion();
  }
  MainDialog again(state);
  again.conversionPage()->outputEdit()->clear();
  auto* grid = again.conversionPage()->findChild<QGridLayout*>();
  typed = "next";
  qobject_cast<QPushButton*>(grid->itemAtPosition(1, 2)->widget())->click();
  EXPECT_EQ(startedIn.last(), work);
  services::setFileDialogRunner({});
}

// The labels with a field and the buttons of a page have Alt+letters of
// their own texts, none used twice on the page or by the window around it
// (Help, Close), and no digits.
TEST_F(Gui, accelerators_are_unique_on_every_page_in_both_languages) {
  for (const char* code : {"EN", "DE"}) {
    SCOPED_TRACE(code);
    LanguageTable table;
    std::string error;
    ASSERT_TRUE(table.load(home / (std::string("Lang") + code + ".lng"), error)) << error;
    setLanguageTable(&table);
    MainDialog dialog(state);
    QStringList window;
    const QMenuBar* menu = dialog.findChild<QMenuBar*>();
    ASSERT_NE(menu, nullptr);
    for (const QAction* action : menu->actions()) window << acceleratorOf(action->text());
    for (const QPushButton* button : dialog.findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
      window << acceleratorOf(button->text());
    }
    EXPECT_FALSE(window.contains(QString())) << "Help and Close have theirs";
    for (int i = 0; i < dialog.tabs()->count(); ++i) {
      QStringList letters = window;
      for (QWidget* widget : dialog.page(i)->findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(widget);
        const auto* button = qobject_cast<QAbstractButton*>(widget);
        QString shown;
        if (label != nullptr && label->buddy() != nullptr) shown = label->text();
        if (button != nullptr && qobject_cast<QToolButton*>(widget) == nullptr) shown = button->text();
        if (shown.isEmpty()) continue;
        const QString letter = acceleratorOf(shown);
        // A text whose letters are all taken (the third "View") has none.
        if (letter.isEmpty()) continue;
        EXPECT_TRUE(letter[0].isLetter()) << "tab " << i << ": " << shown.toStdString();
        EXPECT_TRUE(shown.remove('&').toLower().contains(letter)) << "a letter of its own text: " << shown.toStdString();
        EXPECT_FALSE(letters.contains(letter)) << "tab " << i << ": " << shown.toStdString() << " repeats " << letter.toStdString();
        letters << letter;
      }
    }
  }
  setLanguageTable(&state.table);
}

// The words of a language table's texts, less the placeholders.
QSet<QString> wordsOf(const std::filesystem::path& table) {
  QSet<QString> words;
  std::istringstream lines(readFile(table));
  for (std::string line; std::getline(lines, line);) {
    const auto equals = line.find('=');
    if (equals == std::string::npos || line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
    const QString text = QString::fromStdString(line.substr(equals + 1)).remove(QRegularExpression("%[-+0-9.]*[a-z]"));
    for (const QString& word : text.split(QRegularExpression("[^\\p{L}]+"), Qt::SkipEmptyParts)) {
      if (word.size() >= 3) words.insert(word.toLower());
    }
  }
  return words;
}

// Every text a person sees on the pages and in the dialogs.
QStringList visibleTexts(const QList<QWidget*>& roots) {
  QStringList texts;
  for (QWidget* root : roots) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
      texts << w->windowTitle() << w->toolTip();
      if (auto* label = qobject_cast<QLabel*>(w)) texts << QTextDocumentFragment::fromHtml(label->text()).toPlainText();
      if (auto* button = qobject_cast<QAbstractButton*>(w)) texts << button->text();
      if (auto* group = qobject_cast<QGroupBox*>(w)) texts << group->title();
      if (auto* edit = qobject_cast<QLineEdit*>(w)) texts << edit->placeholderText();
      if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) texts << plain->placeholderText();
      if (auto* box = qobject_cast<QComboBox*>(w)) {
        for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
      }
      if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
        for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i);
      }
      if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
        for (int c = 0; c < tree->columnCount(); ++c) texts << tree->headerItem()->text(c);
        for (QTreeWidgetItemIterator it(tree); *it; ++it) texts << (*it)->text(0);
      }
    }
  }
  texts.removeAll(QString());
  return texts;
}

// In German, no page or dialog shows a word that only the English texts
// (or Qt's untranslated ones) use, and the reverse: Qt's own translation is
// loaded and every text comes from the language tables.
TEST_F(Gui, every_page_and_dialog_speaks_one_language) {
  const QSet<QString> english = wordsOf(home / "LangEN.lng"), german = wordsOf(home / "LangDE.lng");
  for (const auto& [code, other] : {std::pair{"DE", "EN"}, {"EN", "DE"}}) {
    SCOPED_TRACE(code);
    QSet<QString> foreign = (std::string(code) == "DE" ? english : german) - (std::string(code) == "DE" ? german : english);
    // Qt's own texts, where its translation is missing.
    if (std::string(code) == "DE") foreign += QSet<QString>{"look", "directory", "folder", "detail", "cancel"};
    LanguageTable table;
    std::string error;
    ASSERT_TRUE(table.load(home / (std::string("Lang") + code + ".lng"), error)) << error;
    setLanguageTable(&table);
    ASSERT_TRUE(loadQtTranslations(code));
    {
      MainDialog dialog(state);
      const std::vector<GalleryItem> gallery = dialogGallery(dialog, state, sampleSets(dialog.settingsPage()->ellipsoids()), home.path());
      QList<QWidget*> roots{&dialog};
      for (const GalleryItem& item : gallery) roots << item.widget.get();
      for (QString shown : visibleTexts(roots)) {
        shown.remove(QRegularExpression("\\S*[/.]\\S*"));  // paths and file names are the user's
        for (const QString& word : shown.split(QRegularExpression("[^\\p{L}]+"), Qt::SkipEmptyParts)) {
          EXPECT_FALSE(foreign.contains(word.toLower())) << word.toStdString() << " in \"" << shown.toStdString() << '"';
        }
      }
    }
  }
  loadQtTranslations("EN");
  setLanguageTable(&state.table);
}

TEST_F(Gui, ctrl_enter_runs_compute_of_the_current_page) {
  MainDialog dialog(state);
  dialog.tabs()->setCurrentIndex(MainDialog::kEstimationTab);
  QShortcut* shortcut = nullptr;
  for (QShortcut* s : dialog.findChildren<QShortcut*>()) {
    if (s->key() == QKeySequence(Qt::CTRL | Qt::Key_Return)) shortcut = s;
  }
  ASSERT_NE(shortcut, nullptr);
  emit shortcut->activated();
  EXPECT_EQ(errors, QStringList{text(str::NoReportName)}) << "the estimation page's Compute ran";
}

// A file dragged from the file manager onto a field fills that field; onto
// the page elsewhere, the page's input field.
TEST_F(Gui, a_dropped_file_fills_the_field_or_the_input_field) {
  MainDialog dialog(state);
  EstimationPage* page = dialog.estimationPage();
  const QString target = QString::fromStdString((home / "target.txt").string());
  const QString source = QString::fromStdString((home / "source.txt").string());
  auto drop = [](QWidget* onto, const QStringList& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& file : files) urls << QUrl::fromLocalFile(file);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(onto, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(onto, &event);
    EXPECT_TRUE(event.isAccepted());
  };
  drop(page->targetEdit(), {target});
  EXPECT_EQ(page->targetEdit()->text(), target);
  drop(page, {source, target});
  EXPECT_EQ(page->sourceEdit()->text(), source) << "the first file";
  EXPECT_EQ(page->targetEdit()->text(), target);
}

}  // namespace
}  // namespace pelmar::ui
