#include "ui/ResidualPlotView.h"

#include <QPainter>
#include <QSvgRenderer>

#include "app/StringIds.h"
#include "ui/UiText.h"

namespace pelmar::ui {

ResidualPlotView::ResidualPlotView(QWidget* parent) : QWidget(parent), renderer_(new QSvgRenderer(this)) {
  setMinimumHeight(200);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

bool ResidualPlotView::setSvg(const QByteArray& svg) {
  hasPlot_ = renderer_->load(svg) && renderer_->isValid();
  svg_ = hasPlot_ ? svg : QByteArray();
  update();
  return hasPlot_;
}

void ResidualPlotView::clear() {
  hasPlot_ = false;
  svg_.clear();
  renderer_->load(QByteArray());
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
  QSizeF size = renderer_->defaultSize();
  size.scale(QSizeF(width(), height()), Qt::KeepAspectRatio);
  const QRectF target((width() - size.width()) / 2.0, (height() - size.height()) / 2.0, size.width(), size.height());
  renderer_->render(&painter, target);
}

}  // namespace pelmar::ui
