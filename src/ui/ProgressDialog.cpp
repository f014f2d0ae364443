#include "ui/ProgressDialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/StringIds.h"
#include "ui/UiText.h"

namespace pelmar::ui {

ProgressDialog::ProgressDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Pelmar"));
  // Window-modal: while the job runs on the GUI thread and pumps events, the
  // main window must not start a second job or close under it.
  setWindowModality(Qt::WindowModal);
  auto* layout = new QVBoxLayout(this);
  first_ = new QLabel(this);
  second_ = new QLabel(this);
  layout->addWidget(first_);
  layout->addWidget(second_);
  cancel_ = new QPushButton(uiText(str::ButtonCancel), this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);
  connect(cancel_, &QPushButton::clicked, this, &ProgressDialog::reject);
  setMinimumWidth(360);
}

void ProgressDialog::reject() {
  if (cancelled_) return;
  cancelled_ = true;
  cancel_->setEnabled(false);  // once is enough; the job stops at its next point
  emit cancelRequested();
}

void ProgressDialog::setLines(const QString& first, const QString& second) {
  first_->setText(first);
  second_->setText(second);
  if (!isVisible()) show();
  repaint();
  QApplication::processEvents();
}

QString ProgressDialog::firstLine() const { return first_->text(); }
QString ProgressDialog::secondLine() const { return second_->text(); }

}  // namespace pelmar::ui
