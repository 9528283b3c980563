// LineControl: a straight line on a form, placed by its two end points like the line control of
// a form designer rather than by a rectangle. pelResizer moves it by its end points.
#ifndef FITMORPH_LINE_CONTROL_H_
#define FITMORPH_LINE_CONTROL_H_

#include <QColor>
#include <QPoint>
#include <QWidget>

#include "fitmorph/export.h"

namespace fitmorph {

class FITMORPH_EXPORT LineControl : public QWidget {
  Q_OBJECT
  // End points in pixels, in the coordinates of the parent widget.
  Q_PROPERTY(int X1 READ X1 WRITE SetX1)
  Q_PROPERTY(int Y1 READ Y1 WRITE SetY1)
  Q_PROPERTY(int X2 READ X2 WRITE SetX2)
  Q_PROPERTY(int Y2 READ Y2 WRITE SetY2)

 public:
  explicit LineControl(QWidget* parent = nullptr);

  int X1() const { return p1_.x(); }
  int Y1() const { return p1_.y(); }
  int X2() const { return p2_.x(); }
  int Y2() const { return p2_.y(); }
  void SetX1(int x);
  void SetY1(int y);
  void SetX2(int x);
  void SetY2(int y);
  void SetEndPoints(QPoint p1, QPoint p2);

  // Pen of the line; the widget covers the line's bounding box widened by the pen.
  void SetColor(QColor color);
  void SetPenWidth(int width);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Place();

  QPoint p1_;
  QPoint p2_;
  QColor color_ = Qt::black;
  int pen_width_ = 1;
};

}  // namespace fitmorph

#endif  // FITMORPH_LINE_CONTROL_H_
