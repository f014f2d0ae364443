#include "ui/ResidualPlotView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "app/StringIds.h"
#include "estimation/ResidualPlot.h"
#include "ui/UiText.h"

namespace pelmar::ui {

namespace {
// How near the pointer must come to a marker to name its point, in pixels.
constexpr double kReach = 8.0;
constexpr double kMostZoom = 200.0;
}  // namespace

ResidualPlotView::ResidualPlotView(QWidget* parent) : QWidget(parent), renderer_(new QSvgRenderer(this)) {
  setMinimumHeight(200);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setMouseTracking(true);
}

bool ResidualPlotView::setSvg(const QByteArray& svg, const QStringList& pointTexts) {
  hasPlot_ = renderer_->load(svg) && renderer_->isValid();
  svg_ = hasPlot_ ? svg : QByteArray();
  texts_ = hasPlot_ ? pointTexts : QStringList();
  markers_.clear();
  for (int i = 0; i < texts_.size(); ++i) {
    for (char kind : {'p', 'h'}) {
      const QString id = QString::fromStdString(PlotMarkerId(kind, static_cast<std::size_t>(i)));
      if (!renderer_->elementExists(id)) continue;
      markers_.push_back({renderer_->transformForElement(id).mapRect(renderer_->boundsOnElement(id)), i});
    }
  }
  resetView();
  return hasPlot_;
}

void ResidualPlotView::clear() {
  hasPlot_ = false;
  svg_.clear();
  texts_.clear();
  markers_.clear();
  renderer_->load(QByteArray());
  resetView();
}

void ResidualPlotView::resetView() {
  zoom_ = 1.0;
  pan_ = {};
  update();
}

QRectF ResidualPlotView::target() const {
  QSizeF size = renderer_->defaultSize();
  size.scale(QSizeF(width(), height()), Qt::KeepAspectRatio);
  size *= zoom_;
  return {(width() - size.width()) / 2.0 + pan_.x(), (height() - size.height()) / 2.0 + pan_.y(), size.width(),
          size.height()};
}

QPointF ResidualPlotView::toWidget(const QPointF& svgPoint) const {
  const QRectF box = renderer_->viewBoxF();
  const QRectF to = target();
  if (box.width() <= 0 || box.height() <= 0) return {};
  return {to.left() + (svgPoint.x() - box.left()) * to.width() / box.width(),
          to.top() + (svgPoint.y() - box.top()) * to.height() / box.height()};
}

QPointF ResidualPlotView::markerPosition(int index) const {
  for (const Marker& m : markers_) {
    if (m.index == index) return toWidget(m.bounds.center());
  }
  return {};
}

QString ResidualPlotView::pointAt(const QPointF& at) const {
  double best = kReach;
  int found = -1;
  for (const Marker& m : markers_) {
    const QRectF r(toWidget(m.bounds.topLeft()), toWidget(m.bounds.bottomRight()));
    // The distance from the marker's box (0 inside it).
    const double dx = std::max({r.left() - at.x(), 0.0, at.x() - r.right()});
    const double dy = std::max({r.top() - at.y(), 0.0, at.y() - r.bottom()});
    const double distance = std::hypot(dx, dy);
    if (distance <= best) best = distance, found = m.index;
  }
  return found >= 0 ? texts_.value(found) : QString();
}

void ResidualPlotView::zoomAbout(const QPointF& at, double factor) {
  const double zoom = std::clamp(zoom_ * factor, 1.0, kMostZoom);
  if (zoom == zoom_) return;
  // The point under `at` stays where it is.
  const QRectF before = target();
  const QPointF relative((at.x() - before.left()) / before.width(), (at.y() - before.top()) / before.height());
  zoom_ = zoom;
  const QRectF after = target();
  pan_ += at - QPointF(after.left() + relative.x() * after.width(), after.top() + relative.y() * after.height());
  if (zoom_ == 1.0) pan_ = {};
  update();
}

void ResidualPlotView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!hasPlot_) {
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, uiText(str::PlotPlaceholder));
    return;
  }
  painter.setRenderHint(QPainter::Antialiasing);
  renderer_->render(&painter, target());
}

void ResidualPlotView::wheelEvent(QWheelEvent* event) {
  if (!hasPlot_) return;
  zoomAbout(event->position(), std::pow(1.25, event->angleDelta().y() / 120.0));
  event->accept();
}

void ResidualPlotView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  dragging_ = true;
  dragged_ = false;
  dragFrom_ = event->position();
}

void ResidualPlotView::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ && zoom_ > 1.0) {
    const QPointF step = event->position() - dragFrom_;
    if (dragged_ || std::hypot(step.x(), step.y()) > 3.0) {
      dragged_ = true;
      pan_ += step;
      dragFrom_ = event->position();
      update();
      return;
    }
  }
  const QString text = pointAt(event->position());
  if (text.isEmpty()) QToolTip::hideText();
  else QToolTip::showText(event->globalPosition().toPoint(), text, this);
}

void ResidualPlotView::mouseReleaseEvent(QMouseEvent* event) {
  if (dragging_ && !dragged_) {
    // A click names the point as resting on it does.
    const QString text = pointAt(event->position());
    if (!text.isEmpty()) QToolTip::showText(event->globalPosition().toPoint(), text, this);
  }
  dragging_ = false;
}

void ResidualPlotView::mouseDoubleClickEvent(QMouseEvent*) { resetView(); }

}  // namespace pelmar::ui
