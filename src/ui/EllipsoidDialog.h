#pragma once

#include <QDialog>

#include <string>
#include <vector>

#include "settings/EllipsoidDatabase.h"
#include "settings/EllipsoidParameters.h"

class QComboBox;
class QLineEdit;

namespace pelmar::ui {

// Name, semi-major axis a and a second parameter that the combo makes b, e²
// or f; switching the combo converts the value. OK refuses an empty name
// (message 107), a name another ellipsoid has (1202), a field that is not
// one whole number (1205) and axes no conversion can use (1203, 1204), and
// returns the ellipsoid with b.
class EllipsoidDialog : public QDialog {
  Q_OBJECT

 public:
  explicit EllipsoidDialog(QWidget* parent = nullptr);

  void setEllipsoid(const EllipsoidRecord& record);
  // Names of the other ellipsoids (Windows-1252), which OK refuses.
  void setTakenNames(std::vector<std::string> names) { taken_ = std::move(names); }
  EllipsoidRecord ellipsoid() const { return result_; }

  QLineEdit* nameEdit() const noexcept { return name_; }
  QLineEdit* semiMajorEdit() const noexcept { return a_; }
  QLineEdit* secondEdit() const noexcept { return second_; }
  QComboBox* secondKind() const noexcept { return kind_; }

  void accept() override;

 private:
  void convertSecond(int index);
  double value(const QLineEdit* edit) const;
  void setValue(QLineEdit* edit, double value);

  QLineEdit* name_ = nullptr;
  QLineEdit* a_ = nullptr;
  QLineEdit* second_ = nullptr;
  QComboBox* kind_ = nullptr;
  SecondParameter shown_ = SecondParameter::SemiMinorAxis;
  EllipsoidRecord result_;
  std::vector<std::string> taken_;
};

}  // namespace pelmar::ui
