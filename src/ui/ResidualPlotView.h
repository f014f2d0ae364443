#pragma once

#include <QByteArray>
#include <QWidget>

class QSvgRenderer;

namespace pelmar::ui {

// Shows the residual plot of the last estimation: the very SVG text the
// core writes beside the report, scaled to the widget with its proportions
// kept. Before the first plot it shows a line saying what will appear.
class ResidualPlotView : public QWidget {
  Q_OBJECT

 public:
  explicit ResidualPlotView(QWidget* parent = nullptr);

  // False when the text is no SVG the renderer can draw (nothing is shown then).
  bool setSvg(const QByteArray& svg);
  void clear();
  bool hasPlot() const noexcept { return hasPlot_; }
  const QByteArray& svg() const noexcept { return svg_; }

  QSize sizeHint() const override { return {560, 360}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QSvgRenderer* renderer_;
  QByteArray svg_;
  bool hasPlot_ = false;
};

}  // namespace pelmar::ui
