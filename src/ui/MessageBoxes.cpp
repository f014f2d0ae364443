#include "ui/MessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>

#include "app/StringIds.h"
#include "ui/UiText.h"

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

SaveAnswer askSaveDiscardCancel(QWidget* parent, const QString& text) {
  if (responder()) return responder()(text, DialogKind::Question) ? SaveAnswer::Save : SaveAnswer::Discard;
  if (batchDialogs()) {
    toStderr("question (save)", text);
    return SaveAnswer::Save;
  }
  const std::unique_ptr<QMessageBox> box = saveQuestionBox(parent, text);
  box->exec();
  if (box->clickedButton() == box->button(QMessageBox::Save)) return SaveAnswer::Save;
  if (box->clickedButton() == box->button(QMessageBox::Discard)) return SaveAnswer::Discard;
  return SaveAnswer::Cancel;
}

std::unique_ptr<QMessageBox> saveQuestionBox(QWidget* parent, const QString& text) {
  auto box = std::make_unique<QMessageBox>(QMessageBox::Question, programCaption(), text,
                                           QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
  box->button(QMessageBox::Save)->setText(uiText(str::ButtonSave));
  box->button(QMessageBox::Discard)->setText(uiText(str::ButtonDiscard));
  box->button(QMessageBox::Cancel)->setText(uiText(str::ButtonCancel));
  box->setDefaultButton(QMessageBox::Save);
  box->setEscapeButton(QMessageBox::Cancel);
  return box;
}

bool askYesNo(QWidget* parent, const QString& text, bool defaultYes) {
  if (responder()) return responder()(text, DialogKind::Question);
  if (batchDialogs()) {
    toStderr(defaultYes ? "question (yes)" : "question (no)", text);
    return defaultYes;
  }
  // The program's own button texts: Qt's are English whatever the language.
  QMessageBox box(QMessageBox::Question, programCaption(), text, QMessageBox::Yes | QMessageBox::No, parent);
  box.button(QMessageBox::Yes)->setText(uiText(str::ButtonYes));
  box.button(QMessageBox::No)->setText(uiText(str::ButtonNo));
  box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
  box.exec();
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

}  // namespace pelmar::ui
