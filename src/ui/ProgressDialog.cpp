#include "ui/ProgressDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/StringIds.h"
#include "ui/UiText.h"

namespace pelmar::ui {

ProgressDialog::ProgressDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Pelmar"));
  // Modal for the whole program: while a job runs, no window may start a
  // second one or close under it.
  setWindowModality(Qt::ApplicationModal);
  auto* layout = new QVBoxLayout(this);
  first_ = new QLabel(this);
  QFont bold = first_->font();
  bold.setBold(true);
  first_->setFont(bold);
  second_ = new QLabel(this);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 0);
  bar_->setTextVisible(false);
  layout->addWidget(first_);
  layout->addWidget(second_);
  layout->addWidget(bar_);
  cancel_ = new QPushButton(uiText(str::ButtonCancel), this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);
  connect(cancel_, &QPushButton::clicked, this, &ProgressDialog::reject);
  setMinimumWidth(420);
}

void ProgressDialog::reject() {
  if (cancelled_) return;
  cancelled_ = true;
  cancel_->setEnabled(false);  // once is enough; the job stops at its next point
  second_->setText(uiText(str::ProgressCancelling));
  emit cancelRequested();
}

void ProgressDialog::setLines(const QString& first, const QString& second) {
  if (first_->text() != first) first_->setText(first);
  if (!cancelled_ && second_->text() != second) second_->setText(second);
}

void ProgressDialog::setPermille(int permille) {
  // Without a range the bar runs to and fro: the job is alive.
  const int maximum = permille >= 0 ? 1000 : 0;
  if (bar_->maximum() != maximum) bar_->setRange(0, maximum);
  if (permille >= 0 && bar_->value() != permille) bar_->setValue(permille);
}

QString ProgressDialog::firstLine() const { return first_->text(); }
QString ProgressDialog::secondLine() const { return second_->text(); }

}  // namespace pelmar::ui
