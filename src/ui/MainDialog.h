#pragma once

#include <QDialog>

#include "app/StartUp.h"

class QTabWidget;

namespace pelmar::ui {

// The program's one window: six pages in a tab control.
class MainDialog : public QDialog {
  Q_OBJECT

 public:
  MainDialog(const StartUpState& state, QWidget* parent = nullptr);

  QTabWidget* tabs() const noexcept { return tabs_; }

 private:
  const StartUpState& state_;
  QTabWidget* tabs_ = nullptr;
};

// The text of numbered string `id` as a QString.
QString uiText(const StartUpState& state, int id);

}  // namespace pelmar::ui
