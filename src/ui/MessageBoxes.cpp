#include "ui/MessageBoxes.h"

#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace pelmar::ui {

namespace {

DialogResponder& responder() {
  static DialogResponder instance;
  return instance;
}

void toStderr(const char* kind, const QString& text) {
  std::fprintf(stderr, "pelmar: %s: %s\n", kind, text.toUtf8().constData());
  std::fflush(stderr);
}

}  // namespace

void setDialogResponder(DialogResponder r) { responder() = std::move(r); }

bool batchDialogs() {
  const char* value = std::getenv("PELMAR_BATCH_DIALOGS");
  return value != nullptr && *value != '\0' && *value != '0';
}

QString programCaption() { return QStringLiteral("Pelmar"); }

bool answeredWithoutWindow(const QString& text, DialogKind kind) {
  if (responder()) {
    responder()(text, kind);
    return true;
  }
  if (!batchDialogs()) return false;
  toStderr(kind == DialogKind::Error ? "error" : "information", text);
  return true;
}

void showError(QWidget* parent, const QString& text) {
  if (answeredWithoutWindow(text, DialogKind::Error)) return;
  QMessageBox::critical(parent, programCaption(), text, QMessageBox::Ok);
}

void showInformation(QWidget* parent, const QString& text) {
  if (answeredWithoutWindow(text, DialogKind::Information)) return;
  QMessageBox::information(parent, programCaption(), text, QMessageBox::Ok);
}

bool askYesNo(QWidget* parent, const QString& text, bool defaultYes) {
  if (responder()) return responder()(text, DialogKind::Question);
  if (batchDialogs()) {
    toStderr(defaultYes ? "question (yes)" : "question (no)", text);
    return defaultYes;
  }
  const auto answer = QMessageBox::question(parent, programCaption(), text, QMessageBox::Yes | QMessageBox::No,
                                            defaultYes ? QMessageBox::Yes : QMessageBox::No);
  return answer == QMessageBox::Yes;
}

}  // namespace pelmar::ui
