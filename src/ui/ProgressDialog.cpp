#include "ui/ProgressDialog.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace pelmar::ui {

ProgressDialog::ProgressDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Pelmar"));
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  first_ = new QLabel(this);
  second_ = new QLabel(this);
  layout->addWidget(first_);
  layout->addWidget(second_);
  setMinimumWidth(360);
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
