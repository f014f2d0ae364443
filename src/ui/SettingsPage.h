#pragma once

#include <QWidget>

#include <filesystem>

#include "app/LanguageConfiguration.h"
#include "app/SettingsStore.h"
#include "settings/EllipsoidDatabase.h"
#include "settings/GeneralSettings.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace pelmar::ui {

// The settings page: the general settings, the ellipsoid list of Ellip.db,
// the report header text and the language. Other pages read the current
// values from it while their jobs run; only this page writes them.
class SettingsPage : public QWidget {
  Q_OBJECT

 public:
  // `home` is the program directory; `languages` the configuration read at
  // start-up.
  SettingsPage(std::filesystem::path home, LanguageConfiguration languages, QWidget* parent = nullptr);

  // Loads the settings, Ellip.db and HeaderInfo.dat into the controls. False
  // when Ellip.db cannot be read (messages 104 and 167 shown): the program
  // cannot go on.
  bool initialise();

  // Writes the settings file and HeaderInfo.dat and clears the modified flag.
  // False when HeaderInfo.dat cannot be written (message 165).
  bool save();
  void reset();

  bool modified() const noexcept { return modified_; }
  void clearModified() noexcept { modified_ = false; }

  const GeneralSettings& settings() const noexcept { return settings_; }
  const EllipsoidList& ellipsoids() const noexcept { return ellipsoids_; }
  // The ellipsoid of the settings ("Ellip"; an index beyond the list takes
  // the first); an empty record when the list is empty.
  EllipsoidRecord currentEllipsoid() const;
  // The per-user settings file; empty when its folder could not be made.
  const std::filesystem::path& settingsPath() const noexcept { return settingsPath_; }
  // A store on the settings file, for the option dialogs and jobs.
  SettingsStore settingsStore() const;

  // The controls, for the tests.
  QSpinBox* geographicDecimals() const noexcept { return geographicDecimals_; }
  QSpinBox* cartesianDecimals() const noexcept { return cartesianDecimals_; }
  QComboBox* geographicFormat() const noexcept { return geographicFormat_; }
  QComboBox* utmFormat() const noexcept { return utmFormat_; }
  QComboBox* axisOrder() const noexcept { return axisOrder_; }
  QComboBox* ellipsoidCombo() const noexcept { return ellipsoid_; }
  QCheckBox* distributeCheck() const noexcept { return distribute_; }
  QRadioButton* weightingButton(int type) const;
  QLabel* weightingLabel() const noexcept { return weightingLabel_; }
  QLineEdit* distanceEdit() const noexcept { return distance_; }
  QLabel* distanceLabel() const noexcept { return distanceLabel_; }
  QLabel* distanceUnit() const noexcept { return distanceUnit_; }
  QCheckBox* userHeaderCheck() const noexcept { return userHeader_; }
  QPushButton* editHeaderButton() const noexcept { return editHeader_; }
  QComboBox* languageCombo() const noexcept { return language_; }
  QLineEdit* editorEdit() const noexcept { return editor_; }

  // The ellipsoid commands; the dialogs they open are modal.
  void newEllipsoid();
  void changeEllipsoid();
  void deleteEllipsoid();
  std::vector<std::string> ellipsoidNames(int except) const;
  bool storeEllipsoids();
  // Applies a record that an ellipsoid dialog returned (new or changed).
  void addEllipsoid(const EllipsoidRecord& record);
  void replaceEllipsoid(const EllipsoidRecord& record);

 private:
  void buildControls();
  void showSettings();
  void readControls();
  void applyInterpolationEnabling();
  void fillEllipsoidCombo();
  bool writeEllipsoids();
  void rereadEllipsoids();
  void chooseEditor();
  void editHeader();
  void changeLanguage(int index);
  void markModified() { modified_ = true; }

  std::filesystem::path home_;
  LanguageConfiguration languages_;
  std::filesystem::path settingsPath_;
  GeneralSettings settings_;
  EllipsoidList ellipsoids_;
  bool modified_ = false;
  bool filling_ = false;  // controls being set from the settings: no edits

  QSpinBox* geographicDecimals_ = nullptr;
  QSpinBox* cartesianDecimals_ = nullptr;
  QComboBox* geographicFormat_ = nullptr;
  QComboBox* utmFormat_ = nullptr;
  QComboBox* axisOrder_ = nullptr;
  QCheckBox* keepRest_ = nullptr;
  QCheckBox* utf8_ = nullptr;
  QComboBox* ellipsoid_ = nullptr;
  QLineEdit* editor_ = nullptr;
  QCheckBox* userHeader_ = nullptr;
  QPushButton* editHeader_ = nullptr;
  QCheckBox* includeDate_ = nullptr;
  QCheckBox* distribute_ = nullptr;
  QLabel* weightingLabel_ = nullptr;
  QButtonGroup* weighting_ = nullptr;
  QLineEdit* distance_ = nullptr;
  QLabel* distanceLabel_ = nullptr;
  QLabel* distanceUnit_ = nullptr;
  QComboBox* language_ = nullptr;
};

}  // namespace pelmar::ui
