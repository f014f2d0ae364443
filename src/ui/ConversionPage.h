#pragma once

#include <QWidget>

#include <functional>

#include "conversion/BatchConversion.h"
#include "conversion/ProjectionLibrary.h"

class QLabel;
class QLineEdit;
class QTreeWidget;

namespace pelmar::ui {

class SettingsPage;

// The coordinate-conversion page: the tree of the thirty conversions, the
// input and output files and the option dialogs, whose values the page keeps
// from one run to the next.
class ConversionPage : public QWidget {
  Q_OBJECT

 public:
  ConversionPage(SettingsPage* settings, const std::filesystem::path& home, QWidget* parent = nullptr);

  QTreeWidget* tree() const noexcept { return tree_; }
  QLabel* description() const noexcept { return description_; }
  // The ellipsoid the selected conversion computes on; the settings' one
  // while a group or nothing is selected.
  QLabel* ellipsoidLabel() const noexcept { return ellipsoid_; }
  QLineEdit* inputEdit() const noexcept { return input_; }
  QLineEdit* outputEdit() const noexcept { return output_; }
  // The line naming the ellipsoid `conversion` computes on with today's
  // settings (or the one its system fixes).
  QString ellipsoidLine(const ConversionInfo& conversion) const;
  // Selects the leaf of a conversion code in the tree.
  bool selectConversion(int code);

  // What the page remembers between runs (see SessionState).
  void saveSession() const;
  void restoreSession();

  // Runs the selected conversion; false when it did not run or failed.
  bool compute();

  // Shows the conversion's option dialog and takes its values into `job`;
  // false when the user cancels. Tests replace it.
  using OptionsPrompt = std::function<bool(const ConversionInfo&, ConversionJob& job)>;
  void setOptionsPrompt(OptionsPrompt prompt) { prompt_ = std::move(prompt); }

 private:
  bool showOptions(const ConversionInfo& conversion, ConversionJob& job);
  void updateDescription();
  void showEvent(QShowEvent* event) override;

  SettingsPage* settings_;
  ProjectionLibrary library_;
  QTreeWidget* tree_ = nullptr;
  QLabel* description_ = nullptr;
  QLabel* ellipsoid_ = nullptr;
  QLineEdit* input_ = nullptr;
  QLineEdit* output_ = nullptr;
  OptionsPrompt prompt_;
  // The option values, kept between runs.
  CentralMeridianOptions centralMeridian_;
  AustrianMeridianOptions austrianMeridian_;
  LambertOptions lambert_;
  SoldnerOptions soldner_;
  SoldnerOptions baden_ = SoldnerOptions::baden();
  bool greenwich_ = false;
  MercatorOptions mercator_;
};

}  // namespace pelmar::ui
