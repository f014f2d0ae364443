#include "ui/HeaderTextDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/StringIds.h"
#include "ui/DialogParts.h"
#include "ui/UiText.h"

namespace pelmar::ui {

HeaderTextDialog::HeaderTextDialog(const QString& text, QWidget* parent) : QDialog(parent) {
  setWindowTitle(uiText(str::HeaderDialogTitle));
  auto* layout = new QVBoxLayout(this);
  edit_ = new QPlainTextEdit(this);
  edit_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  edit_->setPlainText(text);
  // Room for a report line of 80 columns.
  const QFontMetrics metrics(edit_->font());
  edit_->setMinimumSize(metrics.horizontalAdvance(QString(82, QLatin1Char('M'))), metrics.lineSpacing() * 14);
  layout->addWidget(edit_);
  addOkCancel(this, layout);
}

QString HeaderTextDialog::text() const { return edit_->toPlainText(); }

}  // namespace pelmar::ui
