#include "ui/GuiHost.h"

#include "text/TextForm.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>

#include <algorithm>

#include "app/StringIds.h"
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
    heldIds_.push_back(id);
    return;
  }
  showError(parent_, QString::fromStdString(text(id, args)));
}

void GuiHost::notice(int id, const MessageArgs& args) {
  showInformation(parent_, QString::fromStdString(text(id, args)));
}

bool GuiHost::said(int id) const { return std::find(heldIds_.begin(), heldIds_.end(), id) != heldIds_.end(); }

std::string GuiHost::heldText() const {
  std::string all;
  for (const std::string& line : held_) all += (all.empty() ? "" : "\n\n") + line;
  return all;
}

void GuiHost::finishRun(bool done, int doneId, int failedId, const RunOutcome& outcome) {
  if (const std::size_t replaced = TakeReplacedCharacters(); replaced > 0 && done) {
    message(str::CharactersReplaced, {static_cast<std::int64_t>(replaced)});
  }
  endProgress();
  holding_ = false;
  if (!done && cancelled_) {
    // What the job said before the cancel belongs to a run that did not
    // happen. (A Cancel pressed after the last point comes too late: that
    // run is done and ends as any other.)
    showInformation(parent_, uiText(str::RunCancelled));
  } else if (!done) {
    std::string all = failedId != 0 ? text(failedId) : std::string();
    if (!held_.empty()) all += (all.empty() ? "" : "\n\n") + heldText();
    if (!all.empty()) showError(parent_, QString::fromStdString(all));
  } else {
    QString all = uiText(doneId);
    if (const QString lines = outcomeText(outcome); !lines.isEmpty()) all += "\n\n" + lines;
    if (!held_.empty()) all += "\n\n" + QString::fromStdString(heldText());
    showResult(parent_, all, outcome);
  }
  held_.clear();
  heldIds_.clear();
}

bool GuiHost::ask(int id, const MessageArgs& args) { return askYesNo(parent_, QString::fromStdString(text(id, args))); }

QProgressDialog* GuiHost::progress() {
  if (progress_ == nullptr) {
    progress_ = new QProgressDialog(parent_);
    progress_->setWindowTitle(QStringLiteral("Pelmar"));
    progress_->setCancelButtonText(uiText(str::ButtonCancel));
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumWidth(420);
    // Cancel (or Escape) is seen by the job at its next point.
    QObject::connect(progress_, &QProgressDialog::canceled, [this] { cancelled_ = true; });
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
  if (lines_ == nullptr) {
    lines_ = new ProgressDialog(parent_);
    QObject::connect(lines_, &ProgressDialog::cancelRequested, [this] { cancelled_ = true; });
  }
  lines_->setLines(QString::fromStdString(first), QString::fromStdString(second));
}

void GuiHost::endProgress() {
  delete progress_;
  progress_ = nullptr;
  delete lines_;
  lines_ = nullptr;
}

}  // namespace pelmar::ui
