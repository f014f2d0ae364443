#pragma once

class QDialog;
class QLabel;
class QString;
class QGroupBox;
class QRadioButton;
class QVBoxLayout;
class QWidget;

namespace pelmar::ui {

// OK (the default button) and Cancel under a dialog's content, wired to
// accept() and reject().
void addOkCancel(QDialog* dialog, QVBoxLayout* layout);

// A line above a dialog's content (its layout a QVBoxLayout) that names the
// ellipsoid the dialog's projection computes on; object name "ellipsoidLine".
QLabel* addEllipsoidLine(QDialog* dialog, const QString& text);

// The estimation-method group of the option dialogs: L1 norm (type 0) or
// least squares (type 1), the given type checked.
QGroupBox* methodGroup(QWidget* parent, int type, QRadioButton*& l1, QRadioButton*& leastSquares);

}  // namespace pelmar::ui
