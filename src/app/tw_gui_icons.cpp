#include "app/tw_gui_icons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace {

QPixmap Canvas(int Size) {
  QPixmap pm(Size, Size);
  pm.fill(Qt::transparent);
  return pm;
}

void Begin(QPainter& P) {
  P.setRenderHint(QPainter::Antialiasing, true);
}

QPixmap DrawRun() {
  QPixmap pm = Canvas(32);
  QPainter p(&pm);
  Begin(p);
  QLinearGradient g(0, 4, 0, 28);
  g.setColorAt(0, QColor(120, 200, 90));
  g.setColorAt(1, QColor(40, 130, 40));
  p.setPen(QPen(QColor(30, 90, 30), 1.5));
  p.setBrush(g);
  QPainterPath tri;
  tri.moveTo(9, 4);
  tri.lineTo(27, 16);
  tri.lineTo(9, 28);
  tri.closeSubpath();
  p.drawPath(tri);
  return pm;
}

QPixmap DrawCancel() {
  QPixmap pm = Canvas(32);
  QPainter p(&pm);
  Begin(p);
  QLinearGradient g(0, 3, 0, 29);
  g.setColorAt(0, QColor(235, 95, 80));
  g.setColorAt(1, QColor(170, 30, 25));
  p.setPen(QPen(QColor(120, 20, 20), 1.5));
  p.setBrush(g);
  p.drawEllipse(QRectF(3, 3, 26, 26));
  p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(11, 11), QPointF(21, 21));
  p.drawLine(QPointF(21, 11), QPointF(11, 21));
  return pm;
}

QPixmap DrawOptions() {
  QPixmap pm = Canvas(32);
  QPainter p(&pm);
  Begin(p);
  // A cog: eight teeth around a ring.
  QPainterPath cog;
  const QPointF c(16, 16);
  const int teeth = 8;
  for (int i = 0; i < teeth * 2; ++i) {
    const double a0 = (i - 0.5) * M_PI / teeth, a1 = (i + 0.5) * M_PI / teeth;
    const double r = (i % 2 == 0) ? 14.0 : 10.5;
    const QPointF p0 = c + QPointF(r * qCos(a0), r * qSin(a0));
    const QPointF p1 = c + QPointF(r * qCos(a1), r * qSin(a1));
    if (i == 0)
      cog.moveTo(p0);
    else
      cog.lineTo(p0);
    cog.lineTo(p1);
  }
  cog.closeSubpath();
  cog.addEllipse(c, 4.5, 4.5);
  cog.setFillRule(Qt::OddEvenFill);
  QLinearGradient g(0, 2, 0, 30);
  g.setColorAt(0, QColor(190, 195, 205));
  g.setColorAt(1, QColor(95, 100, 115));
  p.setPen(QPen(QColor(60, 62, 70), 1.2));
  p.setBrush(g);
  p.drawPath(cog);
  return pm;
}

QPixmap DrawClose() {
  QPixmap pm = Canvas(32);
  QPainter p(&pm);
  Begin(p);
  // A door with an arrow leaving it.
  p.setPen(QPen(QColor(90, 60, 30), 1.5));
  p.setBrush(QColor(200, 150, 90));
  p.drawRect(QRectF(5, 3, 14, 26));
  p.setBrush(QColor(90, 60, 30));
  p.drawEllipse(QRectF(15, 15, 2.5, 2.5));
  p.setPen(QPen(QColor(40, 110, 190), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(QPointF(14, 16), QPointF(28, 16));
  p.drawLine(QPointF(23, 11), QPointF(28, 16));
  p.drawLine(QPointF(23, 21), QPointF(28, 16));
  return pm;
}

// The body of a drive seen from the front, in the lower part of the picture.
void DriveBody(QPainter& P, const QColor& Top, const QColor& Bottom) {
  QLinearGradient g(0, 26, 0, 50);
  g.setColorAt(0, Top);
  g.setColorAt(1, Bottom);
  P.setPen(QPen(QColor(50, 50, 55), 1.5));
  P.setBrush(g);
  P.drawRoundedRect(QRectF(5, 24, 54, 24), 4, 4);
  P.setPen(QPen(QColor(255, 255, 255, 120), 1));
  P.drawLine(QPointF(9, 27), QPointF(55, 27));
}

QPixmap DrawFixed() {
  QPixmap pm = Canvas(64);
  QPainter p(&pm);
  Begin(p);
  DriveBody(p, QColor(200, 204, 210), QColor(120, 124, 132));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 200, 70));
  p.drawEllipse(QRectF(47, 38, 6, 6));
  p.setBrush(QColor(80, 84, 92));
  for (int i = 0; i < 5; ++i) p.drawRect(QRectF(11 + i * 5, 38, 3, 6));
  return pm;
}

QPixmap DrawNetwork() {
  QPixmap pm = Canvas(64);
  QPainter p(&pm);
  Begin(p);
  DriveBody(p, QColor(190, 205, 225), QColor(100, 118, 150));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 200, 70));
  p.drawEllipse(QRectF(47, 38, 6, 6));
  // The cable to the network below the drive.
  p.setPen(QPen(QColor(40, 60, 90), 2.5));
  p.drawLine(QPointF(32, 48), QPointF(32, 56));
  p.drawLine(QPointF(14, 56), QPointF(50, 56));
  p.setBrush(QColor(40, 60, 90));
  p.drawRect(QRectF(10, 53, 8, 7));
  p.drawRect(QRectF(46, 53, 8, 7));
  return pm;
}

QPixmap DrawRemovable() {
  QPixmap pm = Canvas(64);
  QPainter p(&pm);
  Begin(p);
  // A memory stick lying across the picture.
  QLinearGradient g(0, 24, 0, 46);
  g.setColorAt(0, QColor(90, 140, 220));
  g.setColorAt(1, QColor(30, 70, 150));
  p.setPen(QPen(QColor(20, 40, 90), 1.5));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(4, 24, 40, 22), 5, 5);
  p.setBrush(QColor(210, 212, 218));
  p.setPen(QPen(QColor(90, 92, 100), 1.5));
  p.drawRect(QRectF(44, 28, 16, 14));
  p.setBrush(QColor(90, 92, 100));
  p.setPen(Qt::NoPen);
  p.drawRect(QRectF(49, 32, 3, 3));
  p.drawRect(QRectF(54, 32, 3, 3));
  return pm;
}

}  // namespace

QIcon ButtonIcon(TTWButtonIcon Which) {
  switch (Which) {
    case TTWButtonIcon::Run:
      return QIcon(DrawRun());
    case TTWButtonIcon::Cancel:
      return QIcon(DrawCancel());
    case TTWButtonIcon::Options:
      return QIcon(DrawOptions());
    case TTWButtonIcon::Close:
      return QIcon(DrawClose());
  }
  return QIcon();
}

QIcon DriveIcon(int Index) {
  switch (Index) {
    case 0:
      return QIcon(DrawFixed());
    case 2:
      return QIcon(DrawRemovable());
    default:
      return QIcon(DrawNetwork());
  }
}

QIcon ProgramIcon() {
  QPixmap pm = Canvas(64);
  QPainter p(&pm);
  Begin(p);
  // A wave over a disk.
  p.drawPixmap(0, 0, DrawFixed());
  QPainterPath wave;
  wave.moveTo(4, 18);
  wave.cubicTo(16, 4, 26, 28, 36, 14);
  wave.cubicTo(44, 4, 52, 16, 60, 10);
  p.setPen(QPen(QColor(40, 120, 200), 4, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(wave);
  return QIcon(pm);
}
