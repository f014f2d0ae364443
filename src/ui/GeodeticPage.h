#pragma once

#include <QWidget>

#include <filesystem>

#include "conversion/ProjectionLibrary.h"
#include "geodesy/EllipsoidLibrary.h"

class QLabel;
class QLineEdit;
class QTreeWidget;

namespace pelmar::ui {

class SettingsPage;

// The geodetic-problems page: the tree of the four tasks (direct and inverse
// problem, meridian arc length and latitude from it), the input and output
// files and Compute. The tasks run on the settings page's general settings
// and selected ellipsoid.
class GeodeticPage : public QWidget {
  Q_OBJECT

 public:
  // `home` is the program directory, where both computation libraries lie.
  GeodeticPage(SettingsPage* settings, const std::filesystem::path& home, QWidget* parent = nullptr);

  QTreeWidget* tree() const noexcept { return tree_; }
  QLineEdit* inputEdit() const noexcept { return input_; }
  QLineEdit* outputEdit() const noexcept { return output_; }
  // Names the settings' ellipsoid; filled each time the page is shown.
  QLabel* ellipsoidLabel() const noexcept { return ellipsoid_; }
  // Selects the leaf of a task (GeodeticTask as int); false when none has it.
  bool selectTask(int task);

  // What the page remembers between runs (see SessionState).
  void saveSession() const;
  void restoreSession();

  // Runs the selected task; false when it did not run or failed.
  bool compute();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  SettingsPage* settings_;
  EllipsoidLibrary ellipsoids_;
  ProjectionLibrary projections_;
  QTreeWidget* tree_ = nullptr;
  QLabel* ellipsoid_ = nullptr;
  QLineEdit* input_ = nullptr;
  QLineEdit* output_ = nullptr;
};

}  // namespace pelmar::ui
