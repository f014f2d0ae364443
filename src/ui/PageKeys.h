#pragma once

#include <QList>
#include <QString>

class QLineEdit;
class QWidget;

namespace pelmar::ui {

// The object name of a page's Compute button, which Ctrl+Enter presses.
inline constexpr const char* kComputeButtonName = "compute";

// Gives every label with a buddy and every button below `root` an Alt+letter
// of its own (the underlined letter), unique within `root` and not among
// `reserved` (the letters of the window around it, lower case). Letters of
// the text itself are preferred (its own "&" letter, then word starts); a
// text left without one of its own letters (the third "Show" of a page) gets
// none, and is reached with Tab. The texts come from the language tables, so
// this runs for each language alike and needs no letters in the tables.
// Returns the letters used.
QString assignAccelerators(QWidget* root, const QString& reserved = {});
// The same for the given labels and buttons only.
QString assignAccelerators(const QList<QWidget*>& widgets, const QString& reserved = {});
// The letter a text underlines (after a single "&"), lower case; "" when none.
QString acceleratorOf(const QString& text);

// Local files dropped onto `field` replace its text with the first file's path.
void acceptFileDrops(QLineEdit* field);
// Local files dropped anywhere else on `page` fill `input` with the first file.
void acceptFileDrops(QWidget* page, QLineEdit* input);

}  // namespace pelmar::ui
