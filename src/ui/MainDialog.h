#pragma once

#include <QDialog>

#include "app/StartUp.h"

class QTabWidget;

namespace pelmar::ui {

class ConversionPage;
class EstimationPage;
class GeodeticPage;
class GridShiftPage;
class SettingsPage;
class StoredTransformationsPage;

// The program's one window: six pages in a tab control, the manual and about
// links and the close button. It asks about unsaved general settings when the
// user leaves the settings page and when the close button is used.
class MainDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kConversionTab = 0;
  static constexpr int kGeodeticTab = 1;
  static constexpr int kEstimationTab = 2;
  static constexpr int kStoredTab = 3;
  static constexpr int kGridShiftTab = 4;
  static constexpr int kSettingsTab = 5;

  explicit MainDialog(const StartUpState& state, QWidget* parent = nullptr);

  // False when the settings page could not start (its ellipsoid list is
  // unreadable): the program must end.
  bool startedCleanly() const noexcept { return startedCleanly_; }

  QTabWidget* tabs() const noexcept { return tabs_; }
  SettingsPage* settingsPage() const noexcept { return settings_; }
  EstimationPage* estimationPage() const noexcept { return estimation_; }
  ConversionPage* conversionPage() const noexcept { return conversion_; }
  GeodeticPage* geodeticPage() const noexcept { return geodetic_; }
  StoredTransformationsPage* storedPage() const noexcept { return stored_; }
  GridShiftPage* gridShiftPage() const noexcept { return gridShift_; }
  QWidget* page(int index) const;

  void showAbout();
  void openManual();
  // The close button: asks about unsaved settings, then closes.
  void closeWithQuestion();
  // Escape and the window's close box: the same as the close button, so no
  // key drops unsaved settings.
  void reject() override;

  // Every way of closing the window ends here: what the program remembers
  // is written first.
  void done(int result) override;
  void saveSession() const;
  // Ctrl+Enter: the current page's Compute, when it has one that is enabled.
  void computeCurrentPage();

 private:
  // Unsaved settings: Save, Discard or Cancel; false when the window stays.
  bool settingsLetGo();
  void tabChanged(int index);

  const StartUpState& state_;
  QTabWidget* tabs_ = nullptr;
  SettingsPage* settings_ = nullptr;
  EstimationPage* estimation_ = nullptr;
  ConversionPage* conversion_ = nullptr;
  GeodeticPage* geodetic_ = nullptr;
  StoredTransformationsPage* stored_ = nullptr;
  GridShiftPage* gridShift_ = nullptr;
  int currentTab_ = 0;
  bool startedCleanly_ = true;
};

}  // namespace pelmar::ui
