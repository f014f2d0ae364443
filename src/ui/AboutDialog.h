#pragma once

#include <QDialog>

#include <filesystem>

namespace pelmar::ui {

// The about box: program name, version, the program directory and the
// folder of the user's files (when they are known), two mail links and OK.
class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr) : AboutDialog({}, {}, parent) {}
  AboutDialog(const std::filesystem::path& home, const std::filesystem::path& userFiles, QWidget* parent = nullptr);
};

}  // namespace pelmar::ui
