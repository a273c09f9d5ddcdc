#include "gui/korvex_logo.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace vr512b::gui {

QPixmap KorvexLogo() {
  QPixmap picture(200, 100);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);

  const QColor navy(0x1B, 0x3A, 0x6B);
  const QColor orange(0xF0, 0x8A, 0x24);

  // The mark: a rounded square with a "K" cut from two strokes, the upper
  // arm in the accent colour like a signal leaving the line.
  const QRectF mark(4, 18, 64, 64);
  p.setPen(Qt::NoPen);
  p.setBrush(navy);
  p.drawRoundedRect(mark, 12, 12);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(18, 30, 10, 40));
  p.drawPolygon(QPolygonF({{28, 50}, {42, 70}, {54, 70}, {37, 46}}));
  p.setBrush(orange);
  p.drawPolygon(QPolygonF({{28, 48}, {37, 46}, {54, 30}, {42, 30}}));

  QFont word(QStringLiteral("DejaVu Sans"));
  word.setStyleHint(QFont::SansSerif);
  word.setPixelSize(25);
  word.setBold(true);
  word.setLetterSpacing(QFont::AbsoluteSpacing, 1);
  p.setFont(word);
  p.setPen(navy);
  p.drawText(QRectF(74, 28, 126, 32), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("KORVEX"));

  p.setPen(QPen(orange, 3));
  p.drawLine(QPointF(76, 62), QPointF(194, 62));

  const QString tagline = QStringLiteral("системы оповещения");
  const QRectF tagPlace(76, 66, 120, 16);
  QFont tag = word;
  tag.setBold(false);
  tag.setLetterSpacing(QFont::AbsoluteSpacing, 0);
  // Whatever font stands in, the tagline stays inside the picture.
  for (int px = 12; px >= 7; --px) {
    tag.setPixelSize(px);
    if (QFontMetricsF(tag).horizontalAdvance(tagline) <= tagPlace.width())
      break;
  }
  p.setFont(tag);
  p.setPen(navy);
  p.drawText(tagPlace, Qt::AlignLeft | Qt::AlignVCenter, tagline);
  return picture;
}

}  // namespace vr512b::gui
