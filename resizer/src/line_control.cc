#include "fitmorph/line_control.h"

#include <QPainter>
#include <QRect>

namespace fitmorph {

LineControl::LineControl(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  Place();
}

void LineControl::SetX1(int x) {
  SetEndPoints({x, p1_.y()}, p2_);
}
void LineControl::SetY1(int y) {
  SetEndPoints({p1_.x(), y}, p2_);
}
void LineControl::SetX2(int x) {
  SetEndPoints(p1_, {x, p2_.y()});
}
void LineControl::SetY2(int y) {
  SetEndPoints(p1_, {p2_.x(), y});
}

void LineControl::SetEndPoints(QPoint p1, QPoint p2) {
  p1_ = p1;
  p2_ = p2;
  Place();
}

void LineControl::SetColor(QColor color) {
  color_ = color;
  update();
}

void LineControl::SetPenWidth(int width) {
  pen_width_ = width < 1 ? 1 : width;
  Place();
}

void LineControl::Place() {
  const int margin = pen_width_ / 2 + 1;
  setGeometry(QRect(p1_, p2_).normalized().adjusted(-margin, -margin, margin, margin));
  update();
}

void LineControl::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setPen(QPen(color_, pen_width_));
  painter.drawLine(p1_ - pos(), p2_ - pos());
}

}  // namespace fitmorph
