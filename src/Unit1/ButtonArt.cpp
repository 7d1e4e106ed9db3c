#include "Unit1/ButtonArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <array>
#include <cmath>

namespace {

const QColor Orange(255, 140, 0);
const QColor OrangeEdge(160, 70, 0);
const QColor ChipTop(58, 58, 64);
const QColor ChipSide(28, 28, 32);
const QColor Pin(196, 196, 204);
const QColor FolderBack(40, 96, 200);
const QColor FolderFront(90, 150, 240);
const QColor FolderEdge(20, 50, 120);

// A dual-in-line package seen at a slant: the top face is a parallelogram whose long edges
// carry the pins. With dissolve > 0 the right part of the package is left out and replaced
// by scattered dots.
void DrawChip(QPainter& p, QPointF origin, qreal dissolve = 0.0) {
  const QPointF along(24, -6);   // the package's long edge
  const QPointF across(9, 7);    // its short edge
  const QPointF depth(0, 3);     // thickness of the body
  const int pins = 6;
  const qreal kept = 1.0 - dissolve;

  auto at = [&](qreal a, qreal c) { return origin + along * a + across * c; };

  // The back row sticks out behind the package; the front row hangs below its side.
  p.setPen(QPen(Pin, 1.6, Qt::SolidLine, Qt::FlatCap));
  for (int i = 0; i < pins; ++i) {
    const qreal a = (i + 0.5) / pins;
    if (a > kept) break;
    p.drawLine(at(a, 0), at(a, -0.3));
  }

  const QPolygonF top{at(0, 0), at(kept, 0), at(kept, 1), at(0, 1)};
  const QPolygonF side{at(0, 1), at(kept, 1), at(kept, 1) + depth, at(0, 1) + depth};
  const QPolygonF end{at(0, 0), at(0, 1), at(0, 1) + depth, at(0, 0) + depth};
  p.setPen(QPen(ChipSide, 0.8));
  p.setBrush(ChipSide);
  p.drawPolygon(side);
  p.drawPolygon(end);
  p.setBrush(ChipTop);
  p.drawPolygon(top);

  p.setPen(QPen(Pin, 1.6, Qt::SolidLine, Qt::FlatCap));
  for (int i = 0; i < pins; ++i) {
    const qreal a = (i + 0.5) / pins;
    if (a > kept) break;
    const QPointF root = at(a, 1) + depth;
    p.drawLine(root, root + QPointF(0, 3));
  }

  // The notch that marks pin 1.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(110, 110, 120));
  p.drawEllipse(at(0.08, 0.5), 1.6, 1.6);

  if (dissolve <= 0) return;
  // The dissolved part: dots that thin out away from the package.
  static constexpr std::array<std::array<qreal, 3>, 16> dots{{
      {0.72, 0.2, 1.4}, {0.78, 0.7, 1.3}, {0.85, 0.35, 1.2}, {0.9, 0.9, 1.1},
      {0.95, 0.1, 1.0}, {1.0, 0.55, 1.0}, {1.05, 1.1, 0.9}, {1.1, 0.3, 0.9},
      {1.15, 0.8, 0.8}, {1.2, -0.1, 0.8}, {1.27, 0.5, 0.7}, {1.32, 1.2, 0.7},
      {1.38, 0.15, 0.6}, {1.45, 0.7, 0.6}, {1.52, 0.35, 0.5}, {1.58, 1.0, 0.5}}};
  for (const auto& d : dots) {
    p.setBrush(d[2] > 0.9 ? ChipTop : QColor(100, 100, 110));
    p.drawEllipse(at(d[0], d[1]), d[2], d[2]);
  }
}

// A broad arrow from tail to head, orange with a dark edge.
void DrawArrow(QPainter& p, QPointF tail, QPointF head) {
  const QPointF d = head - tail;
  const qreal length = std::hypot(d.x(), d.y());
  if (length <= 0) return;
  const QPointF u = d / length;
  const QPointF n(-u.y(), u.x());
  const qreal shaft = 2.6, wing = 6.0, headLength = 8.0;
  const QPointF neck = head - u * headLength;
  const QPolygonF shape{tail + n * shaft, neck + n * shaft, neck + n * wing, head,
                        neck - n * wing,  neck - n * shaft, tail - n * shaft};
  p.setPen(QPen(OrangeEdge, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(Orange);
  p.drawPolygon(shape);
}

// An open folder: the back with its tab, and the front flap tilted open.
void DrawFolder(QPainter& p, QRectF r) {
  p.setPen(QPen(FolderEdge, 1.0));
  p.setBrush(FolderBack);
  QPainterPath back;
  back.moveTo(r.left(), r.bottom());
  back.lineTo(r.left(), r.top() + 3);
  back.lineTo(r.left() + 2, r.top());
  back.lineTo(r.left() + r.width() * 0.38, r.top());
  back.lineTo(r.left() + r.width() * 0.45, r.top() + 3);
  back.lineTo(r.right() - 3, r.top() + 3);
  back.lineTo(r.right() - 3, r.bottom());
  back.closeSubpath();
  p.drawPath(back);
  p.setBrush(QColor(250, 250, 240));
  p.drawRect(QRectF(r.left() + 3, r.top() + 5, r.width() - 9, r.height() * 0.4));
  p.setBrush(FolderFront);
  const QPolygonF front{QPointF(r.left() + 4, r.top() + r.height() * 0.42),
                        QPointF(r.right(), r.top() + r.height() * 0.42),
                        QPointF(r.right() - 4, r.bottom()), QPointF(r.left(), r.bottom())};
  p.drawPolygon(front);
}

// A round blue information sign with a white letter i.
void DrawInfo(QPainter& p, QPointF centre, qreal radius) {
  p.setPen(QPen(QColor(10, 40, 120), 1.0));
  QRadialGradient shine(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
  shine.setColorAt(0, QColor(110, 170, 255));
  shine.setColorAt(1, QColor(20, 70, 190));
  p.setBrush(shine);
  p.drawEllipse(centre, radius, radius);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(centre + QPointF(0, -radius * 0.5), radius * 0.17, radius * 0.17);
  p.drawRoundedRect(QRectF(centre.x() - radius * 0.14, centre.y() - radius * 0.22,
                           radius * 0.28, radius * 0.78),
                    1, 1);
}

}  // namespace

QPixmap ButtonPicture(int index, qreal devicePixelRatio) {
  QPixmap picture(QSize(ButtonPictureWidth, ButtonPictureHeight) * devicePixelRatio);
  picture.setDevicePixelRatio(devicePixelRatio);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  switch (index) {
    case 0:  // Write: the arrow points at the package
      DrawChip(p, QPointF(4, 17));
      DrawArrow(p, QPointF(47, 4), QPointF(31, 14));
      break;
    case 1:  // Read: the arrow leaves the package
      DrawChip(p, QPointF(4, 17));
      DrawArrow(p, QPointF(31, 14), QPointF(47, 4));
      break;
    case 2:  // Erase
      DrawChip(p, QPointF(6, 15), 0.4);
      break;
    case 3:  // Load: the arrow leaves the folder to the right
      DrawFolder(p, QRectF(3, 8, 26, 22));
      DrawArrow(p, QPointF(20, 17), QPointF(47, 17));
      break;
    case 4:  // Save: the arrow enters the folder
      DrawFolder(p, QRectF(21, 8, 26, 22));
      DrawArrow(p, QPointF(2, 17), QPointF(31, 17));
      break;
    case 5:  // Identify
      DrawChip(p, QPointF(4, 14));
      DrawInfo(p, QPointF(36, 22), 9);
      break;
    default:
      break;
  }
  return picture;
}
