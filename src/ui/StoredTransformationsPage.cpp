#include "ui/StoredTransformationsPage.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QRegularExpression>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "app/LanguageTable.h"
#include "app/StringIds.h"
#include "io/FileAccess.h"
#include "io/FileReplace.h"
#include "stored/ApplyStoredTransformation.h"
#include "stored/ProjPipeline.h"
#include "stored/SetJson.h"
#include "ui/GuiHost.h"
#include "ui/MessageBoxes.h"
#include "ui/PageKeys.h"
#include "ui/PageServices.h"
#include "ui/SessionState.h"
#include "ui/ParameterSetDialog.h"
#include "ui/SettingsPage.h"
#include "ui/UiText.h"
#include "text/TextForm.h"

namespace pelmar::ui {

using SetList = TransformationDatabase::SetList;

namespace {

// A set's type as the set dialog names it; a type the program does not know as its number.
QString typeText(int type) {
  const int ids[] = {str::SetTypeRigorous, str::SetTypeLinearised, str::SetTypeEllipsoidal};
  return type >= 0 && type < 3 ? uiText(ids[type]) : QString::number(type);
}


}  // namespace

StoredTransformationsPage::StoredTransformationsPage(SettingsPage* settings, std::filesystem::path home,
                                                     std::filesystem::path userFiles, QWidget* parent)
    : QWidget(parent), settings_(settings), home_(std::move(home)), userFiles_(std::move(userFiles)) {
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  list_ = new QTreeWidget(this);
  list_->setColumnCount(3);
  list_->setHeaderLabels({uiText(str::ColumnSetName), uiText(str::ColumnSetType), uiText(str::ColumnSetDescription)});
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setAllColumnsShowFocus(true);
  list_->header()->setStretchLastSection(true);
  list_->header()->resizeSection(0, 240);
  top->addWidget(list_, 1);
  auto* commands = new QVBoxLayout;
  new_ = new QPushButton(uiText(str::ButtonNew), this);
  edit_ = new QPushButton(uiText(str::ButtonChange), this);
  delete_ = new QPushButton(uiText(str::ButtonDelete), this);
  import_ = new QPushButton(uiText(str::ButtonImport), this);
  export_ = new QPushButton(uiText(str::ButtonExport), this);
  for (QPushButton* button : {new_, edit_, delete_, import_, export_}) {
    button->setAutoDefault(false);
    commands->addWidget(button);
  }
  commands->addStretch(1);
  top->addLayout(commands);
  layout->addLayout(top, 1);

  auto* grid = new QGridLayout;
  auto editor = [this] { return QString::fromStdString(settings_->settings().editor); };
  input_ = services::addPointFileRow(this, grid, 0, str::LabelInputFile, true, editor, {}, "StoredInput");
  output_ = services::addPointFileRow(this, grid, 1, str::LabelOutputPointFile, false, editor, {}, "StoredOutput");
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);
  auto* bottom = new QHBoxLayout;
  compute_ = new QPushButton(uiText(str::ButtonCompute), this);
  compute_->setObjectName(kComputeButtonName);  // Ctrl+Enter presses it
  bottom->addStretch(1);
  bottom->addWidget(compute_);
  layout->addLayout(bottom);

  connect(new_, &QPushButton::clicked, this, &StoredTransformationsPage::newSet);
  connect(edit_, &QPushButton::clicked, this, &StoredTransformationsPage::editSelected);
  connect(delete_, &QPushButton::clicked, this, &StoredTransformationsPage::deleteSelected);
  connect(import_, &QPushButton::clicked, this, qOverload<>(&StoredTransformationsPage::importSet));
  connect(export_, &QPushButton::clicked, this, qOverload<>(&StoredTransformationsPage::exportSelected));
  connect(compute_, &QPushButton::clicked, this, &StoredTransformationsPage::compute);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &StoredTransformationsPage::updateButtons);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    list_->clearSelection();
    item->setSelected(true);
    editSelected();
  });

  prompt_ = [this](const TransformationSet& set, int captionId) -> std::optional<TransformationSet> {
    ParameterSetDialog dialog(set, settings_->ellipsoids(), database_.sets(), captionId, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.set();
  };

  openDatabase(userFiles_ / kTransformationFileName);
}

void StoredTransformationsPage::openDatabase(const std::filesystem::path& path) {
  database_ = TransformationDatabase(path);
  GuiHost host(this);
  database_.Load(&host);
  fill();
}

int StoredTransformationsPage::indexOf(const SetList& sets, const std::string& name, int occurrence) {
  for (std::size_t i = 0; i < sets.size(); ++i) {
    if (sets[i].name == name && occurrence-- == 0) return static_cast<int>(i);
  }
  return -1;
}

void StoredTransformationsPage::fill(int selectIndex) {
  list_->clear();
  const SetList& sets = database_.sets();
  for (std::size_t i = 0; i < sets.size(); ++i) {
    auto* item = new QTreeWidgetItem(list_, {fromFileText(sets[i].name), typeText(sets[i].type),
                                             fromFileText(sets[i].description)});
    item->setData(0, Qt::UserRole, static_cast<int>(i));
  }
  if (selectIndex >= 0 && selectIndex < list_->topLevelItemCount()) {
    QTreeWidgetItem* item = list_->topLevelItem(selectIndex);
    list_->setCurrentItem(item);
    item->setSelected(true);
  }
  updateButtons();
}

void StoredTransformationsPage::updateButtons() {
  const qsizetype selected = list_->selectedItems().size();
  new_->setEnabled(true);
  edit_->setEnabled(selected == 1);
  compute_->setEnabled(selected == 1);
  delete_->setEnabled(selected >= 1);
  export_->setEnabled(selected == 1);
}

std::vector<StoredTransformationsPage::RowSet> StoredTransformationsPage::selectedSets() const {
  // The list shows the database's sets in file order, one row each.
  const SetList& sets = database_.sets();
  std::vector<RowSet> rows;
  for (int row = 0; row < list_->topLevelItemCount(); ++row) {
    const QTreeWidgetItem* item = list_->topLevelItem(row);
    const int index = item->data(0, Qt::UserRole).toInt();
    if (!item->isSelected() || index < 0 || index >= static_cast<int>(sets.size())) continue;
    const std::string& name = sets[static_cast<std::size_t>(index)].name;
    const auto occurrence = std::count_if(sets.begin(), sets.begin() + index,
                                          [&](const TransformationSet& s) { return s.name == name; });
    rows.push_back({name, static_cast<int>(occurrence)});
  }
  return rows;
}

void StoredTransformationsPage::newSet() {
  const std::optional<TransformationSet> set = prompt_(TransformationSet{}, str::SetDialogTitle);
  if (set) appendSet(*set);
}

bool StoredTransformationsPage::appendSet(const TransformationSet& set, bool* nameTaken) {
  GuiHost host(this);
  bool taken = false;
  const bool written = database_.Update(
      [&](SetList& sets) {
        // Another program may have stored the name since the dialog checked it.
        if ((taken = NameTaken(sets, set.name))) return false;
        sets.push_back(set);
        return true;
      },
      host);
  if (taken) host.message(str::SetNameTaken, {fromFileText(set.name).toStdString()});
  if (nameTaken != nullptr) *nameTaken = taken;
  // Also after a failure: the list may have been read anew.
  fill(written ? static_cast<int>(database_.sets().size()) - 1 : -1);
  return written;
}

bool StoredTransformationsPage::offerSet(const TransformationSet& set, int captionId) {
  // A name another set has (an imported set's own, or one stored meanwhile)
  // brings the dialog back with everything the user entered.
  for (std::optional<TransformationSet> edited = prompt_(set, captionId); edited;
       edited = prompt_(*edited, captionId)) {
    bool taken = false;
    if (appendSet(*edited, &taken)) return true;
    if (!taken) return false;
  }
  return false;
}

void StoredTransformationsPage::editSelected() {
  // For each selected name its sets are offered in turn, in file order, until
  // one dialog is confirmed (a cancelled one goes on with the next).
  std::vector<std::string> names;
  for (const RowSet& row : selectedSets()) {
    if (std::find(names.begin(), names.end(), row.name) == names.end()) names.push_back(row.name);
  }
  GuiHost host(this);
  int shown = -1;
  for (const std::string& name : names) {
    int occurrence = 0;
    for (int index = indexOf(database_.sets(), name, occurrence); index >= 0;
         index = indexOf(database_.sets(), name, occurrence)) {
      const std::optional<TransformationSet> edited =
          prompt_(database_.sets()[static_cast<std::size_t>(index)], str::SetDialogTitle);
      if (!edited) {
        ++occurrence;
        continue;
      }
      bool gone = false, taken = false;
      int at = -1;
      const bool written = database_.Update(
          [&](SetList& sets) {
            at = indexOf(sets, name, occurrence);
            if (edited->name != name && (taken = NameTaken(sets, edited->name, at))) return false;
            if (at >= 0) {
              sets[static_cast<std::size_t>(at)] = *edited;
            } else {
              // Another program removed it meanwhile: the user's edit is kept as a new set.
              gone = true;
              at = static_cast<int>(sets.size());
              sets.push_back(*edited);
            }
            return true;
          },
          host);
      if (taken) host.message(str::SetNameTaken, {fromFileText(edited->name).toStdString()});
      if (!written) {
        fill();
        return;
      }
      shown = at;
      if (gone) host.notice(str::SetEditedSetGone, {fromFileText(name).toStdString()});
      // One confirmed dialog per name: the sets of a name are offered until one is.
      break;
    }
  }
  fill(shown);
}

void StoredTransformationsPage::deleteSelected() {
  const std::vector<RowSet> rows = selectedSets();
  if (rows.empty() || !askYesNo(this, uiText(str::DeleteSetQuestion), false)) return;
  GuiHost host(this);
  database_.Update(
      [&](SetList& sets) {
        // The selected sets as the file holds them now; one another program
        // removed meanwhile is simply not there any more.
        std::vector<int> indices;
        for (const RowSet& row : rows) {
          const int index = indexOf(sets, row.name, row.occurrence);
          if (index >= 0) indices.push_back(index);
        }
        std::sort(indices.rbegin(), indices.rend());
        indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
        for (int index : indices) sets.erase(sets.begin() + index);
        return true;
      },
      host);
  fill();
}

bool StoredTransformationsPage::importSet() {
  const QString path = services::chooseInputFile(this, uiText(str::FilterSetFiles), uiText(str::TitleImportSet), {},
                                                 "SetFiles", QStringLiteral("*.json *.proj *.txt"));
  return !path.isEmpty() && importSet(path);
}

bool StoredTransformationsPage::importSet(const QString& path) {
  std::string text, error;
  if (!readFileContent(path.toStdString(), text)) {
    showError(this, uiText(str::FileCannotBeOpened, {path}));
    return false;
  }
  TransformationSet set;
  std::vector<std::string> notes;
  const bool json = QFileInfo(path).suffix().compare(QLatin1String("json"), Qt::CaseInsensitive) == 0;
  bool read = json ? SetFromJson(text, set, error) : SetFromPipeline(text, settings_->ellipsoids(), set, notes, error);
  if (read && !json && set.type == 2) {
    // Pelmar applies an ellipsoidal set differentially: how closely.
    if (!library_.usable() && !library_.Open(home_)) {
      showError(this, uiText(str::ProjectionLibraryMissing));
      return false;
    }
    const double departure = LargestModelDeparture(set, library_);
    const std::string told = languageTable().format(str::SetImportDeparture, {departure});
    if (!(departure <= kUsableModelDeparture)) {
      read = false;
      error = told;
    } else {
      notes.push_back(told);
    }
  }
  if (!read) {
    showError(this, uiText(str::SetImportFailed, {path, QString::fromStdString(error)}));
    return false;
  }
  if (!notes.empty()) {
    QStringList lines;
    for (const std::string& note : notes) lines << QString::fromStdString(note);
    showInformation(this, lines.join("\n\n"));
  }
  return offerSet(set, str::SetDialogTitle);
}

bool StoredTransformationsPage::exportSelected() {
  const std::vector<RowSet> rows = selectedSets();
  if (rows.size() != 1) return false;
  const QString suggested = fromFileText(rows[0].name).replace(QRegularExpression("[/\\\\:*?\"<>|]"), "_") + ".json";
  const QString path = services::chooseOutputFile(this, uiText(str::FilterSetFiles), uiText(str::TitleExportSet),
                                                  suggested, QStringLiteral("*.json"), "SetFiles");
  return !path.isEmpty() && exportSelected(path);
}

bool StoredTransformationsPage::exportSelected(const QString& path) {
  const std::vector<RowSet> rows = selectedSets();
  if (rows.size() != 1) return false;
  const int index = indexOf(database_.sets(), rows[0].name, rows[0].occurrence);
  if (index < 0) return false;
  const TransformationSet& set = database_.sets()[static_cast<std::size_t>(index)];
  std::string text;
  if (QFileInfo(path).suffix().compare(QLatin1String("json"), Qt::CaseInsensitive) == 0) {
    text = SetToJson(set);
  } else {
    std::string problem;
    text = SetPipeline(set, &problem);
    if (text.empty()) {
      showError(this, uiText(str::SetExportNoPipeline, {fromFileText(set.name), QString::fromStdString(problem)}));
      return false;
    }
    text += "\n";
  }
  // Never over one of the program's own files; the file is replaced whole or not at all.
  GuiHost host(this);
  if (!CheckDistinctFiles({}, {path.toStdString()}, host)) return false;
  if (!replaceFileContent(path.toStdString(), text)) {
    showError(this, uiText(str::FileNotOpened, {path}));
    return false;
  }
  showInformation(this, uiText(str::ResultFileWritten, {path}));
  return true;
}

void StoredTransformationsPage::saveSession() const {
  saveFields({{"StoredInput", input_}, {"StoredOutput", output_}});
  const std::vector<RowSet> rows = selectedSets();
  setSessionText("StoredSet", rows.size() == 1 ? fromFileText(rows[0].name) : QString());
}

void StoredTransformationsPage::restoreSession() {
  restoreFields({{"StoredInput", input_}, {"StoredOutput", output_}});
  const std::optional<QString> name = sessionText("StoredSet");
  if (!name || name->isEmpty()) return;
  const int index = indexOf(database_.sets(), toFileText(*name), 0);
  if (index >= 0) fill(index);
}

bool StoredTransformationsPage::compute() {
  const std::vector<RowSet> rows = selectedSets();
  if (rows.size() != 1) return false;
  const QString output = output_->text().trimmed();
  if (!services::checkWriteAccess(this, output)) return false;
  const int index = indexOf(database_.sets(), rows[0].name, rows[0].occurrence);
  if (index < 0) return false;
  ApplyJob job;
  job.inputPath = input_->text().trimmed().toStdString();
  job.outputPath = output.toStdString();
  job.settings = settings_->settings();
  job.set = database_.sets()[static_cast<std::size_t>(index)];
  // Only the ellipsoidal sets need the projection library.
  if (job.set.type == 2 && !library_.usable() && !library_.Open(home_)) {
    showError(this, uiText(str::ProjectionLibraryMissing));
    return false;
  }
  GuiHost host(this);
  host.holdMessages();
  ApplyResult result;
  // A .csv or .tsv file is read and written as delimited fields.
  const ScopedPointForms forms({.byFileName = true},
                               {.byFileName = true, .utf8 = settings_->settings().encoding == 1});
  const bool done = host.run([&] { return int(ApplyStoredTransformation(job, library_, host, &result)); }) != 0;
  RunOutcome outcome = PointRunOutcome(output, result, QString::fromStdString(settings_->settings().editor));
  outcome.ellipsoid = uiText(str::ResultSetApplied, {fromFileText(job.set.name), typeText(job.set.type)});
  host.finishRun(done, str::ApplyDone, str::ApplyFailed, outcome);
  return done;
}

}  // namespace pelmar::ui
