#include "ui/ResultDialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include "app/LanguageTable.h"
#include "app/StringIds.h"
#include "ui/MessageBoxes.h"
#include "ui/PageServices.h"
#include "ui/UiText.h"

namespace pelmar::ui {

namespace {

QString count(int id, std::int64_t value) {
  return QString::fromStdString(languageTable().format(id, {static_cast<long long>(value)}));
}

}  // namespace

RunOutcome PointRunOutcome(const QString& output, const PointRunCounts& counts, const QString& editor) {
  RunOutcome outcome;
  outcome.written = {output};
  outcome.pointsWritten = counts.pointsWritten;
  outcome.pointsLeftOut = counts.pointsLeftOut;
  outcome.linesUnreadable = counts.linesUnreadable;
  outcome.editor = editor;
  return outcome;
}

QString outcomeText(const RunOutcome& outcome) {
  QStringList lines;
  for (const QString& file : outcome.written) lines << uiText(str::ResultFileWritten, {file});
  const std::pair<const std::optional<std::int64_t>*, int> counts[] = {
      {&outcome.pointsWritten, str::ResultPointsWritten}, {&outcome.linesWritten, str::ResultLinesWritten},
      {&outcome.pointsLeftOut, str::ResultPointsLeftOut}, {&outcome.linesLeftOut, str::ResultLinesLeftOut},
      {&outcome.linesUnreadable, str::ResultLinesUnreadable},
      {&outcome.grossErrors, str::ResultGrossErrors}};
  for (const auto& [value, id] : counts) {
    if (value->has_value()) lines << count(id, **value);
  }
  if (!outcome.ellipsoid.isEmpty()) lines << outcome.ellipsoid;
  return lines.join('\n');
}

ResultDialog::ResultDialog(const QString& text, const RunOutcome& outcome, QWidget* parent)
    : QDialog(parent), text_(text) {
  setWindowTitle(programCaption());
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* icon = new QLabel(this);
  const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(size, size));
  icon->setAlignment(Qt::AlignTop);
  auto* label = new QLabel(text, this);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setWordWrap(false);
  top->addWidget(icon);
  top->addSpacing(8);
  top->addWidget(label, 1);
  layout->addLayout(top);

  auto* buttons = new QDialogButtonBox(this);
  const QString file = outcome.written.isEmpty() ? QString() : outcome.written.front();
  if (!file.isEmpty()) {
    openFile_ = new QPushButton(uiText(outcome.firstIsReport ? str::ButtonOpenReport : str::ButtonOpenOutput), this);
    openFolder_ = new QPushButton(uiText(str::ButtonOpenFolder), this);
    openFile_->setAutoDefault(false);
    openFolder_->setAutoDefault(false);
    // Action buttons: the box stays open, so the report and the folder can
    // both be opened.
    buttons->addButton(openFile_, QDialogButtonBox::ActionRole);
    buttons->addButton(openFolder_, QDialogButtonBox::ActionRole);
    const QString editor = outcome.editor;
    connect(openFile_, &QPushButton::clicked, this, [this, editor, file] { services::viewFile(this, editor, file); });
    connect(openFolder_, &QPushButton::clicked, this, [this, file] {
      services::openLink(this, QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
    });
  }
  QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

void showResult(QWidget* parent, const QString& text, const RunOutcome& outcome) {
  if (answeredWithoutWindow(text, DialogKind::Information)) return;
  ResultDialog dialog(text, outcome, parent);
  dialog.exec();
}

}  // namespace pelmar::ui
