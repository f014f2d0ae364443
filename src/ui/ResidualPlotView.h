#pragma once

#include <QByteArray>
#include <QPointF>
#include <QRectF>
#include <QStringList>
#include <QWidget>

#include <vector>

class QSvgRenderer;

namespace pelmar::ui {

// Shows the residual plot of the last estimation: the very SVG text the
// core writes beside the report, scaled to the widget with its proportions
// kept. The wheel zooms about the pointer, dragging pans, a double click
// shows the whole plot again; resting on (or clicking) a point names it with
// its residuals and verdict. Before the first plot it shows a line saying
// what will appear.
class ResidualPlotView : public QWidget {
  Q_OBJECT

 public:
  explicit ResidualPlotView(QWidget* parent = nullptr);

  // False when the text is no SVG the renderer can draw (nothing is shown
  // then). `pointTexts[i]` describes point i of the plot (its markers
  // "p<i>" and "h<i>" in the SVG).
  bool setSvg(const QByteArray& svg, const QStringList& pointTexts = {});
  void clear();
  bool hasPlot() const noexcept { return hasPlot_; }
  const QByteArray& svg() const noexcept { return svg_; }
  const QStringList& pointTexts() const noexcept { return texts_; }

  // The text of the point whose marker is within a few pixels of `at`
  // (widget coordinates); empty when none is.
  QString pointAt(const QPointF& at) const;
  // Where point `index`'s plan marker is drawn now (widget coordinates);
  // null when it has none.
  QPointF markerPosition(int index) const;
  double zoom() const noexcept { return zoom_; }
  void zoomAbout(const QPointF& at, double factor);
  void resetView();

  QSize sizeHint() const override { return {560, 360}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  // The plot's rectangle in widget coordinates at the current zoom and pan.
  QRectF target() const;
  QPointF toWidget(const QPointF& svgPoint) const;

  struct Marker {
    QRectF bounds;  // SVG coordinates
    int index;
  };
  QSvgRenderer* renderer_;
  QByteArray svg_;
  QStringList texts_;
  std::vector<Marker> markers_;
  bool hasPlot_ = false;
  double zoom_ = 1.0;
  QPointF pan_;
  QPointF dragFrom_;
  bool dragging_ = false;
  bool dragged_ = false;
};

}  // namespace pelmar::ui
