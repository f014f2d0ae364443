#pragma once

#include <QDialog>

namespace pelmar::ui {

// The about box: program name, version, two mail links and OK.
class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace pelmar::ui
