#pragma once

#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "conversion/ProjectionLibrary.h"
#include "stored/TransformationDatabase.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace pelmar::ui {

class SettingsPage;

// The stored-transformations page: the parameter sets of Transformation.db
// in the program directory (name and description), the commands to make,
// change and delete them, and the input and output files for applying the
// chosen set. Every change goes to the file as it is on disk at that moment,
// so that what another program wrote meanwhile stays.
class StoredTransformationsPage : public QWidget {
  Q_OBJECT

 public:
  // `home` is the program directory, `userFiles` the folder of
  // Transformation.db (StartUpState::userFiles). Loads the file; a damaged one is
  // reported (message 1501).
  StoredTransformationsPage(SettingsPage* settings, std::filesystem::path home, std::filesystem::path userFiles,
                            QWidget* parent = nullptr);

  // Works on another file from now on (the screenshots use a made-up one).
  void openDatabase(const std::filesystem::path& path);
  const TransformationDatabase& database() const noexcept { return database_; }

  QTreeWidget* list() const noexcept { return list_; }
  QLineEdit* inputEdit() const noexcept { return input_; }
  QLineEdit* outputEdit() const noexcept { return output_; }
  QPushButton* newButton() const noexcept { return new_; }
  QPushButton* editButton() const noexcept { return edit_; }
  QPushButton* deleteButton() const noexcept { return delete_; }
  QPushButton* computeButton() const noexcept { return compute_; }
  QPushButton* importButton() const noexcept { return import_; }
  QPushButton* exportButton() const noexcept { return export_; }

  // The commands of the buttons.
  void newSet();
  void editSelected();
  void deleteSelected();
  // Reads a set from a file (JSON as exported, else a PROJ pipeline) and
  // offers it in the set dialog; false when nothing was stored.
  bool importSet();
  bool importSet(const QString& path);
  // Writes the selected set to a file: JSON for a name ending in .json,
  // else its PROJ pipeline.
  bool exportSelected();
  bool exportSelected(const QString& path);
  // Applies the selected set to the input file; false when it did not run
  // or failed.
  bool compute();

  // What the page remembers between runs (see SessionState).
  void saveSession() const;
  void restoreSession();

  // Adds a set at the end of the file and shows it; false when the file
  // could not be written (the message was given).
  bool appendSet(const TransformationSet& set, bool* nameTaken = nullptr);
  // Offers a new set (an estimation's, an imported one): the set dialog with
  // `captionId`, then, on OK, appendSet; a name already taken shows the
  // dialog again with the user's entries. False when cancelled or not written.
  bool offerSet(const TransformationSet& set, int captionId);

  // Shows the set dialog on a copy of `set` (the stored sets for its name
  // check); nullopt when the user cancels. Tests replace it.
  using SetPrompt = std::function<std::optional<TransformationSet>(const TransformationSet& set, int captionId)>;
  void setSetPrompt(SetPrompt prompt) { prompt_ = std::move(prompt); }

 private:
  // A selected row: the name of its set and which of the sets of that name
  // it is (0 the first in the file).
  struct RowSet {
    std::string name;
    int occurrence = 0;
  };
  std::vector<RowSet> selectedSets() const;
  // The set index of the occurrence-th set named `name` in `sets`; -1 when none.
  static int indexOf(const TransformationDatabase::SetList& sets, const std::string& name, int occurrence);
  void fill(int selectIndex = -1);
  void updateButtons();

  SettingsPage* settings_;
  std::filesystem::path home_;       // the program directory, where the projection library lies
  std::filesystem::path userFiles_;  // where Transformation.db lies
  TransformationDatabase database_;
  ProjectionLibrary library_;  // opened at the first run of a type-2 set
  QTreeWidget* list_ = nullptr;
  QLineEdit* input_ = nullptr;
  QLineEdit* output_ = nullptr;
  QPushButton* new_ = nullptr;
  QPushButton* edit_ = nullptr;
  QPushButton* delete_ = nullptr;
  QPushButton* import_ = nullptr;
  QPushButton* export_ = nullptr;
  QPushButton* compute_ = nullptr;
  SetPrompt prompt_;
};

}  // namespace pelmar::ui
