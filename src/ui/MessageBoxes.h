#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace pelmar::ui {

// Message boxes of the program. With PELMAR_BATCH_DIALOGS set in the
// environment (scripts, screenshots) nothing is shown: the text goes to
// stderr and questions take their default answer, so no run waits for a click.
bool batchDialogs();
void showError(QWidget* parent, const QString& text);
void showInformation(QWidget* parent, const QString& text);
// A yes/no question; `defaultYes` is the batch answer and the default button.
bool askYesNo(QWidget* parent, const QString& text, bool defaultYes = true);

// Tests answer the boxes themselves: the responder gets each text (and
// whether it is a question) and returns the answer.
using DialogResponder = std::function<bool(const QString& text, bool question)>;
void setDialogResponder(DialogResponder responder);

// "Pelmar", the caption of every message box.
QString programCaption();

}  // namespace pelmar::ui
