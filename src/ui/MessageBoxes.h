#pragma once

#include <QString>

#include <functional>
#include <memory>

class QMessageBox;

class QWidget;

namespace pelmar::ui {

// Message boxes of the program. With PELMAR_BATCH_DIALOGS set in the
// environment (scripts, screenshots) nothing is shown: the text goes to
// stderr and questions take their default answer, so no run waits for a click.
bool batchDialogs();
// The icon tells what a box is: a failure (something could not be done) has
// the error icon, a notice (a result, a slip such as a missing file name)
// the information icon, a question the question icon.
enum class DialogKind { Error, Information, Question };
void showError(QWidget* parent, const QString& text);
void showInformation(QWidget* parent, const QString& text);
// A yes/no question; `defaultYes` is the batch answer and the default button.
bool askYesNo(QWidget* parent, const QString& text, bool defaultYes = true);

// The question before unsaved settings are left: Save, Discard or Cancel,
// with the program's own button texts; Escape and the box's close button
// cancel. A test's responder answers true for Save, false for Discard; the
// batch mode saves.
enum class SaveAnswer { Save, Discard, Cancel };
SaveAnswer askSaveDiscardCancel(QWidget* parent, const QString& text);
// That question's box, not yet shown.
std::unique_ptr<QMessageBox> saveQuestionBox(QWidget* parent, const QString& text);

// Tests answer the boxes themselves: the responder gets each text and its
// kind and returns the answer (used for questions only).
using DialogResponder = std::function<bool(const QString& text, DialogKind kind)>;
void setDialogResponder(DialogResponder responder);
// For boxes of their own (the result box): true when the responder or the
// batch mode took `text` of `kind`, and no window is to be shown.
bool answeredWithoutWindow(const QString& text, DialogKind kind);

// "Pelmar", the caption of every message box.
QString programCaption();

}  // namespace pelmar::ui
