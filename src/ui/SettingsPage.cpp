#include "ui/SettingsPage.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <system_error>

#include "app/ProgramDirectory.h"
#include "app/StringIds.h"
#include "text/LineScanner.h"
#include "text/NumberFormat.h"
#include "ui/EllipsoidDialog.h"
#include "ui/HeaderTextDialog.h"
#include "io/FileLock.h"
#include "ui/MessageBoxes.h"
#include "ui/PageServices.h"
#include "ui/UiText.h"

namespace pelmar::ui {

namespace {


QString pathText(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

}  // namespace

SettingsPage::SettingsPage(std::filesystem::path home, LanguageConfiguration languages, QWidget* parent)
    : QWidget(parent), home_(std::move(home)), languages_(std::move(languages)) {
  buildControls();
}

void SettingsPage::buildControls() {
  auto* output = new QGroupBox(uiText(str::GroupOutput), this);
  auto* outputForm = new QFormLayout(output);
  geographicDecimals_ = new QSpinBox(output);
  cartesianDecimals_ = new QSpinBox(output);
  for (QSpinBox* spin : {geographicDecimals_, cartesianDecimals_}) {
    spin->setRange(0, kMaxDecimals);
    spin->setMinimumWidth(70);
    spin->setMaximumWidth(90);
  }
  geographicFormat_ = new QComboBox(output);
  geographicFormat_->addItems({uiText(str::FormatDecimalDegrees), uiText(str::FormatDms)});
  utmFormat_ = new QComboBox(output);
  utmFormat_->addItems({uiText(str::FormatUtmZone), uiText(str::FormatUtmPlain)});
  outputForm->addRow(uiText(str::LabelDecimalsGeographic), geographicDecimals_);
  outputForm->addRow(uiText(str::LabelDecimalsCartesian), cartesianDecimals_);
  outputForm->addRow(uiText(str::LabelFormatGeographic), geographicFormat_);
  outputForm->addRow(uiText(str::LabelFormatUtm), utmFormat_);
  axisOrder_ = new QComboBox(output);
  axisOrder_->addItems(
      {uiText(str::AxisOrderSwapped), uiText(str::AxisOrderInput), uiText(str::AxisOrderNamed)});
  outputForm->addRow(uiText(str::LabelAxisOrder), axisOrder_);
  keepRest_ = new QCheckBox(uiText(str::CheckKeepRest), output);
  outputForm->addRow(keepRest_);
  utf8_ = new QCheckBox(uiText(str::LabelEncoding), output);
  outputForm->addRow(utf8_);

  auto* ellipsoidBox = new QGroupBox(uiText(str::GroupEllipsoid), this);
  auto* ellipsoidLayout = new QVBoxLayout(ellipsoidBox);
  ellipsoid_ = new QComboBox(ellipsoidBox);
  ellipsoid_->setMinimumWidth(180);
  ellipsoidLayout->addWidget(ellipsoid_);
  auto* ellipsoidButtons = new QHBoxLayout;
  auto* newButton = new QPushButton(uiText(str::ButtonNew), ellipsoidBox);
  auto* changeButton = new QPushButton(uiText(str::ButtonChange), ellipsoidBox);
  auto* deleteButton = new QPushButton(uiText(str::ButtonDelete), ellipsoidBox);
  for (QPushButton* button : {newButton, changeButton, deleteButton}) ellipsoidButtons->addWidget(button);
  ellipsoidLayout->addLayout(ellipsoidButtons);

  auto* editorBox = new QGroupBox(uiText(str::GroupEditor), this);
  auto* editorLayout = new QHBoxLayout(editorBox);
  // Typed or chosen: a program, or a program with its options.
  auto* editorLabel = new QLabel(uiText(str::LabelEditorCommand), editorBox);
  editor_ = new QLineEdit(editorBox);
  editorLabel->setBuddy(editor_);
  auto* chooseButton = new QPushButton(uiText(str::ButtonChoose), editorBox);
  editorLayout->addWidget(editorLabel);
  editorLayout->addWidget(editor_, 1);
  editorLayout->addWidget(chooseButton);

  auto* headerBox = new QGroupBox(uiText(str::GroupReportHeader), this);
  auto* headerLayout = new QGridLayout(headerBox);
  userHeader_ = new QCheckBox(uiText(str::CheckUserHeader), headerBox);
  editHeader_ = new QPushButton(uiText(str::ButtonEditHeader), headerBox);
  includeDate_ = new QCheckBox(uiText(str::CheckIncludeDate), headerBox);
  headerLayout->addWidget(userHeader_, 0, 0);
  headerLayout->addWidget(editHeader_, 0, 1);
  headerLayout->addWidget(includeDate_, 1, 0, 1, 2);
  headerLayout->setColumnStretch(0, 1);

  auto* distributionBox = new QGroupBox(uiText(str::GroupDistribution), this);
  auto* distributionLayout = new QGridLayout(distributionBox);
  distribute_ = new QCheckBox(uiText(str::CheckDistribute), distributionBox);
  weightingLabel_ = new QLabel(uiText(str::LabelWeighting), distributionBox);
  weighting_ = new QButtonGroup(distributionBox);
  const int weights[] = {str::WeightInverseDistance, str::WeightInverseSquare, str::WeightExponential};
  auto* radios = new QHBoxLayout;
  for (int type = 0; type < 3; ++type) {
    auto* radio = new QRadioButton(uiText(weights[type]), distributionBox);
    weighting_->addButton(radio, type);
    radios->addWidget(radio);
  }
  radios->addStretch(1);
  distanceLabel_ = new QLabel(uiText(str::LabelDistanceConstant), distributionBox);
  distance_ = new QLineEdit(distributionBox);
  auto* validator = new QDoubleValidator(0.0, 1e9, 4, distance_);
  validator->setLocale(QLocale::c());
  validator->setNotation(QDoubleValidator::StandardNotation);
  distance_->setValidator(validator);
  distance_->setMaximumWidth(110);
  distanceUnit_ = new QLabel(uiText(str::UnitMetres), distributionBox);
  auto* distanceRow = new QHBoxLayout;
  distanceRow->addWidget(distance_);
  distanceRow->addWidget(distanceUnit_);
  distanceRow->addStretch(1);
  distributionLayout->addWidget(distribute_, 0, 0, 1, 2);
  distributionLayout->addWidget(weightingLabel_, 1, 0);
  distributionLayout->addLayout(radios, 1, 1);
  distributionLayout->addWidget(distanceLabel_, 2, 0);
  distributionLayout->addLayout(distanceRow, 2, 1);
  distributionLayout->setColumnStretch(1, 1);

  auto* languageBox = new QGroupBox(uiText(str::GroupLanguage), this);
  auto* languageLayout = new QHBoxLayout(languageBox);
  language_ = new QComboBox(languageBox);
  language_->setMinimumWidth(160);
  languageLayout->addWidget(language_);
  languageLayout->addStretch(1);

  auto* saveButton = new QPushButton(uiText(str::ButtonSave), this);
  auto* resetButton = new QPushButton(uiText(str::ButtonReset), this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(resetButton);
  buttons->addWidget(saveButton);

  auto* grid = new QGridLayout;
  grid->addWidget(output, 0, 0);
  grid->addWidget(ellipsoidBox, 0, 1);
  grid->addWidget(headerBox, 1, 0);
  grid->addWidget(editorBox, 1, 1);
  grid->addWidget(distributionBox, 2, 0);
  grid->addWidget(languageBox, 2, 1);
  grid->setColumnStretch(0, 3);
  grid->setColumnStretch(1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addStretch(1);
  layout->addLayout(buttons);

  // Tab order follows the reading order of the groups.
  setTabOrder(geographicDecimals_, cartesianDecimals_);
  setTabOrder(cartesianDecimals_, geographicFormat_);
  setTabOrder(geographicFormat_, utmFormat_);
  setTabOrder(utmFormat_, axisOrder_);
  setTabOrder(axisOrder_, keepRest_);
  setTabOrder(keepRest_, utf8_);
  setTabOrder(utf8_, ellipsoid_);
  setTabOrder(ellipsoid_, newButton);
  setTabOrder(newButton, changeButton);
  setTabOrder(changeButton, deleteButton);
  setTabOrder(deleteButton, userHeader_);
  setTabOrder(userHeader_, editHeader_);
  setTabOrder(editHeader_, includeDate_);
  setTabOrder(includeDate_, editor_);
  setTabOrder(editor_, chooseButton);
  setTabOrder(chooseButton, distribute_);
  setTabOrder(distribute_, weighting_->button(0));
  setTabOrder(weighting_->button(2), distance_);
  setTabOrder(distance_, language_);
  setTabOrder(language_, resetButton);
  setTabOrder(resetButton, saveButton);

  auto edited = [this] {
    if (!filling_) markModified();
  };
  connect(geographicDecimals_, &QSpinBox::valueChanged, this, edited);
  connect(cartesianDecimals_, &QSpinBox::valueChanged, this, edited);
  connect(distance_, &QLineEdit::textEdited, this, edited);
  connect(editor_, &QLineEdit::textEdited, this, [this](const QString& text) {
    settings_.editor = text.trimmed().toStdString();
    markModified();
  });
  connect(ellipsoid_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (filling_) return;
    settings_.ellipsoid = index;
    markModified();
  });
  connect(geographicFormat_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (filling_) return;
    settings_.formatGeographic = index;
    markModified();
  });
  connect(utmFormat_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (filling_) return;
    settings_.formatUtm = index;
    markModified();
  });
  connect(axisOrder_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (filling_) return;
    settings_.axisOrder = index;
    markModified();
  });
  connect(distribute_, &QCheckBox::clicked, this, [this] {
    readControls();
    markModified();
    applyInterpolationEnabling();
  });
  // A changed weighting is an edit like any other: it must not be lost
  // without the question on leaving the page.
  connect(weighting_, &QButtonGroup::idClicked, this, [this](int type) {
    settings_.interpolationType = type;
    markModified();
    applyInterpolationEnabling();
  });
  connect(userHeader_, &QCheckBox::clicked, this, [this] {
    readControls();
    editHeader_->setEnabled(settings_.userDefinedHeader != 0);
    markModified();
  });
  connect(includeDate_, &QCheckBox::clicked, this, [this] {
    readControls();
    markModified();
  });
  connect(keepRest_, &QCheckBox::clicked, this, [this] {
    readControls();
    markModified();
  });
  connect(utf8_, &QCheckBox::clicked, this, [this] {
    readControls();
    markModified();
  });
  connect(editHeader_, &QPushButton::clicked, this, &SettingsPage::editHeader);
  connect(chooseButton, &QPushButton::clicked, this, &SettingsPage::chooseEditor);
  connect(newButton, &QPushButton::clicked, this, &SettingsPage::newEllipsoid);
  connect(changeButton, &QPushButton::clicked, this, &SettingsPage::changeEllipsoid);
  connect(deleteButton, &QPushButton::clicked, this, &SettingsPage::deleteEllipsoid);
  connect(saveButton, &QPushButton::clicked, this, &SettingsPage::save);
  connect(resetButton, &QPushButton::clicked, this, &SettingsPage::reset);
  connect(language_, &QComboBox::activated, this, &SettingsPage::changeLanguage);
}

bool SettingsPage::initialise() {
  // The per-user settings file below the program directory.
  const std::filesystem::path folder = home_ / "config";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (std::filesystem::is_directory(folder, ec)) {
    settingsPath_ = userSettingsPath(home_);
  } else {
    showError(this, uiText(str::ConfigFolderFailed, {pathText(folder)}));
    settingsPath_.clear();
  }
  if (!settingsPath_.empty() && settings_.load(settingsStore()).repaired) {
    // Written back at once, so that the notice comes once and every later
    // reader (the command line too) finds the general settings whole. (A
    // file that cannot be written keeps its zeros: the notice comes again.)
    settings_.save(settingsStore());
    showInformation(this, uiText(str::SettingsRepaired, {pathText(settingsPath_)}));
  }

  const std::filesystem::path ellipsoidFile = home_ / kEllipsoidFileName;
  if (std::string problem; !ReadEllipsoidDatabase(ellipsoidFile, ellipsoids_, &problem)) {
    // What is wrong, as the command line's "ellipsoids list" says it.
    showError(this, uiText(str::EllipsoidFileFailed, {pathText(ellipsoidFile)}) + "\n\n" +
                        QString::fromStdString(problem));
    showError(this, uiText(str::ProgramEnds));
    return false;
  }
  const std::filesystem::path headerFile = home_ / kHeaderFileName;
  if (!ReadHeaderText(headerFile, settings_.headerText)) {
    showError(this, uiText(str::FileNotOpened, {pathText(headerFile)}));
  }

  filling_ = true;
  language_->clear();
  for (const LanguageEntry& entry : languages_.languages()) language_->addItem(QString::fromStdString(entry.name));
  language_->setCurrentIndex(language_->findText(QString::fromStdString(languages_.currentName())));
  filling_ = false;
  showSettings();
  modified_ = false;
  return true;
}

EllipsoidRecord SettingsPage::currentEllipsoid() const { return SettingsEllipsoid(ellipsoids_, settings_.ellipsoid); }

SettingsStore SettingsPage::settingsStore() const {
  SettingsStore store;
  store.SetFile(settingsPath_);
  return store;
}

QRadioButton* SettingsPage::weightingButton(int type) const {
  return qobject_cast<QRadioButton*>(weighting_->button(type));
}

void SettingsPage::showSettings() {
  filling_ = true;
  geographicDecimals_->setValue(settings_.decimalsGeographic);
  cartesianDecimals_->setValue(settings_.decimalsCartesian);
  geographicFormat_->setCurrentIndex(settings_.formatGeographic >= 0 && settings_.formatGeographic < 2
                                         ? settings_.formatGeographic
                                         : 0);
  utmFormat_->setCurrentIndex(settings_.formatUtm >= 0 && settings_.formatUtm < 2 ? settings_.formatUtm : 0);
  axisOrder_->setCurrentIndex(settings_.axisOrder);  // 0–2 after load
  editor_->setText(QString::fromStdString(settings_.editor));
  userHeader_->setChecked(settings_.userDefinedHeader != 0);
  editHeader_->setEnabled(settings_.userDefinedHeader != 0);
  includeDate_->setChecked(settings_.includeDate != 0);
  keepRest_->setChecked(settings_.keepRest != 0);
  utf8_->setChecked(settings_.encoding == 1);
  distribute_->setChecked(settings_.interpolationActive == 1);
  distance_->setText(QString::fromStdString(formatFixed(settings_.interpolationDistance, 0, 4)));
  fillEllipsoidCombo();
  filling_ = false;
  applyInterpolationEnabling();
}

void SettingsPage::fillEllipsoidCombo() {
  const bool wasFilling = filling_;
  filling_ = true;
  ellipsoid_->clear();
  for (const EllipsoidRecord& record : ellipsoids_) ellipsoid_->addItem(fromFileText(record.name));
  // A stored index beyond the list selects the first ellipsoid.
  const int count = static_cast<int>(ellipsoids_.size());
  if (settings_.ellipsoid >= 0 && settings_.ellipsoid < count) {
    ellipsoid_->setCurrentIndex(settings_.ellipsoid);
  } else if (count > 0) {
    ellipsoid_->setCurrentIndex(0);
  }
  filling_ = wasFilling;
}

void SettingsPage::readControls() {
  settings_.decimalsGeographic = geographicDecimals_->value();
  settings_.decimalsCartesian = cartesianDecimals_->value();
  settings_.userDefinedHeader = userHeader_->isChecked() ? 1 : 0;
  settings_.includeDate = includeDate_->isChecked() ? 1 : 0;
  settings_.keepRest = keepRest_->isChecked() ? 1 : 0;
  settings_.encoding = utf8_->isChecked() ? 1 : 0;
  settings_.interpolationActive = distribute_->isChecked() ? 1 : 0;
  double distance = 0.0;
  parseRealPrefix(trimLeft(distance_->text().toStdString()), distance);
  settings_.interpolationDistance = distance;
}

void SettingsPage::applyInterpolationEnabling() {
  const bool active = settings_.interpolationActive == 1;
  weightingLabel_->setEnabled(active);
  for (QAbstractButton* button : weighting_->buttons()) {
    button->setEnabled(active);
    button->setChecked(weighting_->id(button) == settings_.interpolationType);
  }
  // A type outside 0–2 checks no button: the exclusive group would keep one.
  weighting_->setExclusive(settings_.interpolationType >= 0 && settings_.interpolationType <= 2);
  const bool exponential = active && settings_.interpolationType == 2;
  distance_->setEnabled(exponential);
  distanceLabel_->setEnabled(exponential);
  distanceUnit_->setEnabled(exponential);
}

bool SettingsPage::save() {
  readControls();
  if (ellipsoid_->currentIndex() >= 0) settings_.ellipsoid = ellipsoid_->currentIndex();
  settings_.formatGeographic = geographicFormat_->currentIndex();
  if (!settingsPath_.empty() && !settings_.save(settingsStore())) {
    showError(this, uiText(str::SettingsNotWritten, {pathText(settingsPath_)}));
  }
  const std::filesystem::path headerFile = home_ / kHeaderFileName;
  const bool headerWritten = WriteHeaderText(headerFile, settings_.headerText);
  if (!headerWritten) showError(this, uiText(str::FileNotOpened, {pathText(headerFile)}));
  modified_ = false;
  return headerWritten;
}

void SettingsPage::reset() {
  readControls();  // keeps the edits of the switches that a reset leaves alone
  settings_.decimalsGeographic = 6;
  settings_.decimalsCartesian = 3;
  settings_.editor = GeneralSettings::kDefaultEditor;
  settings_.ellipsoid = 0;
  settings_.formatGeographic = 0;
  showSettings();
  save();
}

void SettingsPage::chooseEditor() {
  // The field may hold a command with options: the dialog starts at its program.
  const QStringList command = services::editorCommand(QString::fromStdString(settings_.editor), QString());
  const QString path = services::chooseInputFile(this, uiText(str::EditorFilter), uiText(str::EditorTitle),
                                                 command.value(0), "SettingsEditor", QStringLiteral("*"));
  if (path.isEmpty()) return;
  settings_.editor = path.toStdString();
  editor_->setText(path);
  markModified();
}

void SettingsPage::editHeader() {
  HeaderTextDialog dialog(fromFileText(settings_.headerText), this);
  if (dialog.exec() != QDialog::Accepted) return;
  settings_.headerText = toFileText(dialog.text());
  markModified();
}

bool SettingsPage::writeEllipsoids() {
  const std::filesystem::path file = home_ / kEllipsoidFileName;
  const FileLock lock(file);
  if (WriteEllipsoidDatabase(file, ellipsoids_)) return true;
  showError(this, uiText(str::EllipsoidFileFailed, {pathText(file)}));
  return false;
}

void SettingsPage::rereadEllipsoids() {
  ReadEllipsoidDatabase(home_ / kEllipsoidFileName, ellipsoids_);
  fillEllipsoidCombo();
}

// Names of the ellipsoids except the one at `except`, for the dialog's check.
std::vector<std::string> SettingsPage::ellipsoidNames(int except) const {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < ellipsoids_.size(); ++i) {
    if (static_cast<int>(i) != except) names.push_back(ellipsoids_[i].name);
  }
  return names;
}

void SettingsPage::newEllipsoid() {
  EllipsoidDialog dialog(this);
  dialog.setTakenNames(ellipsoidNames(-1));
  if (dialog.exec() == QDialog::Accepted) addEllipsoid(dialog.ellipsoid());
}

void SettingsPage::addEllipsoid(const EllipsoidRecord& record) {
  ellipsoids_.push_back(record);
  storeEllipsoids();
}

// Writes the list and shows the file's list again; when the write failed,
// the list in memory.
bool SettingsPage::storeEllipsoids() {
  const bool written = writeEllipsoids();
  if (written) {
    rereadEllipsoids();
  } else {
    fillEllipsoidCombo();  // kept in memory
  }
  return written;
}

// The combo lists the records in file order: its index is the record's.
void SettingsPage::changeEllipsoid() {
  const int index = ellipsoid_->currentIndex();
  if (index < 0 || index >= static_cast<int>(ellipsoids_.size())) return;
  EllipsoidDialog dialog(this);
  dialog.setEllipsoid(ellipsoids_[static_cast<std::size_t>(index)]);
  dialog.setTakenNames(ellipsoidNames(index));
  if (dialog.exec() == QDialog::Accepted) replaceEllipsoid(dialog.ellipsoid());
}

void SettingsPage::replaceEllipsoid(const EllipsoidRecord& record) {
  const int index = ellipsoid_->currentIndex();
  if (index < 0 || index >= static_cast<int>(ellipsoids_.size())) return;
  ellipsoids_[static_cast<std::size_t>(index)] = record;
  markModified();
  storeEllipsoids();
}

// Deletes the selected record (not the first of its name: with two
// "Bessel" the combo and the conversions parted ways) and fills the combo
// from the list again, the selection on the ellipsoid before it.
void SettingsPage::deleteEllipsoid() {
  const int selected = ellipsoid_->currentIndex();
  if (selected < 0 || selected >= static_cast<int>(ellipsoids_.size())) return;
  if (!askYesNo(this, uiText(str::DeleteEllipsoidQuestion, {ellipsoid_->currentText()}), false)) return;
  ellipsoids_.erase(ellipsoids_.begin() + selected);
  settings_.ellipsoid = selected > 0 ? selected - 1 : 0;
  markModified();
  storeEllipsoids();
}

void SettingsPage::changeLanguage(int index) {
  if (index < 0) return;
  const std::string name = language_->itemText(index).toStdString();
  if (name == languages_.currentName()) return;
  languages_.SetCurrentLanguage(languages_.LanguageCodeForName(name));
  if (!askYesNo(this, uiText(str::RestartForLanguage))) return;
  QProcess::startDetached(QCoreApplication::applicationFilePath(), {});
  QCoreApplication::exit(1);
}

}  // namespace pelmar::ui
