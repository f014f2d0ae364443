#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

#include "points/PointRunCounts.h"

class QPushButton;

namespace pelmar::ui {

// What a finished run tells the person besides its closing message: the
// files it wrote (the first is the one the Open button opens: the report of
// an estimation, else the output) and its counts. A count that does not
// apply to the run stays empty and is not shown.
struct RunOutcome {
  QStringList written;
  bool firstIsReport = false;
  std::optional<std::int64_t> pointsWritten;
  std::optional<std::int64_t> linesWritten;  // the geodetic tasks write lines, not points
  std::optional<std::int64_t> pointsLeftOut;
  std::optional<std::int64_t> linesLeftOut;  // the geodetic tasks: input lines without a result
  std::optional<std::int64_t> linesUnreadable;
  std::optional<std::int64_t> grossErrors;  // identical points the test flags
  QString editor;  // the configured editor, for Open
  QString ellipsoid;  // the line naming the ellipsoid the run computed on, if it used one
};

// The outcome of a job over one point file that wrote `output`.
RunOutcome PointRunOutcome(const QString& output, const PointRunCounts& counts, const QString& editor);

// The lines of `outcome`: one "Written: <file>" per file, then the counts,
// then the ellipsoid.
QString outcomeText(const RunOutcome& outcome);

// The box that ends a successful run: its text with the information icon,
// Open report (or Open output) and Open folder, which leave the box open, and
// OK. The file opens as the page's View does (the editor, else Pelmar's own
// viewer); the folder with the desktop's file manager.
class ResultDialog : public QDialog {
  Q_OBJECT

 public:
  ResultDialog(const QString& text, const RunOutcome& outcome, QWidget* parent = nullptr);
  QString text() const { return text_; }
  QPushButton* openFileButton() const noexcept { return openFile_; }
  QPushButton* openFolderButton() const noexcept { return openFolder_; }

 private:
  QString text_;
  QPushButton* openFile_ = nullptr;
  QPushButton* openFolder_ = nullptr;
};

// Shows the result box (tests and batch runs get the text only).
void showResult(QWidget* parent, const QString& text, const RunOutcome& outcome);

}  // namespace pelmar::ui
