#include "ui/GuiHost.h"

#include <QApplication>
#include <QProgressDialog>

#include "ui/MessageBoxes.h"
#include "ui/ProgressDialog.h"
#include "ui/UiText.h"

namespace pelmar::ui {

GuiHost::GuiHost(QWidget* parent) : parent_(parent) {}

GuiHost::~GuiHost() { endProgress(); }

const LanguageTable& GuiHost::language() const { return languageTable(); }

void GuiHost::message(int id, const MessageArgs& args) {
  if (holding_) {
    held_.push_back(text(id, args));
    return;
  }
  showInformation(parent_, QString::fromStdString(text(id, args)));
}

void GuiHost::showWithHeld(int id, bool failed) {
  endProgress();
  std::string all = text(id);
  for (const std::string& line : held_) all += "\n\n" + line;
  held_.clear();
  holding_ = false;
  if (failed) {
    showError(parent_, QString::fromStdString(all));
  } else {
    showInformation(parent_, QString::fromStdString(all));
  }
}

bool GuiHost::ask(int id, const MessageArgs& args) { return askYesNo(parent_, QString::fromStdString(text(id, args))); }

QProgressDialog* GuiHost::progress() {
  if (progress_ == nullptr) {
    progress_ = new QProgressDialog(parent_);
    progress_->setWindowTitle(QStringLiteral("Pelmar"));
    progress_->setCancelButton(nullptr);
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumWidth(420);
  }
  return progress_;
}

void GuiHost::setProgressRange(std::int64_t count) {
  total_ = count;
  done_ = 0;
  shownPermille_ = -1;
  progress()->setRange(0, 1000);
  progress()->setValue(0);
  progress()->show();
  QApplication::processEvents();
}

void GuiHost::setProgressText(const std::string& text) {
  progress()->setLabelText(QString::fromStdString(text));
  progress()->show();
  QApplication::processEvents();
}

void GuiHost::stepProgress() {
  ++done_;
  if (total_ <= 0 || progress_ == nullptr) return;
  // Repaint only when the bar moves: a million points must not mean a
  // million repaints.
  const int permille = static_cast<int>(std::min<std::int64_t>(done_, total_) * 1000 / total_);
  if (permille == shownPermille_) return;
  shownPermille_ = permille;
  progress_->setValue(permille);
  QApplication::processEvents();
}

void GuiHost::setProgressLines(const std::string& first, const std::string& second) {
  if (lines_ == nullptr) lines_ = new ProgressDialog(parent_);
  lines_->setLines(QString::fromStdString(first), QString::fromStdString(second));
}

void GuiHost::endProgress() {
  delete progress_;
  progress_ = nullptr;
  delete lines_;
  lines_ = nullptr;
}

}  // namespace pelmar::ui
