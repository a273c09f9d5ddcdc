#include "gui/gui_fonts.h"

#include <QFontDatabase>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <initializer_list>

namespace vr512b::gui {

namespace {

QFont Pick(std::initializer_list<const char*> families, QFontDatabase::SystemFont fallback,
           int pixelSize) {
  const QStringList installed = QFontDatabase::families(QFontDatabase::Cyrillic);
  QFont font = QFontDatabase::systemFont(fallback);
  for (const char* family : families) {
    if (installed.contains(QString::fromUtf8(family), Qt::CaseInsensitive)) {
      font = QFont(QString::fromUtf8(family));
      break;
    }
  }
  font.setPixelSize(pixelSize);
  return font;
}

QFont Sans(int pixelSize) {
  // The condensed cut comes first: it is about as wide as the bitmap font the
  // windows were laid out with, so captions fit their designed widths.
  return Pick({"MS Sans Serif", "Microsoft Sans Serif", "DejaVu Sans Condensed",
               "Liberation Sans Narrow", "DejaVu Sans", "Liberation Sans", "Noto Sans", "Arial"},
              QFontDatabase::GeneralFont, pixelSize);
}

}  // namespace

QFont WindowFont() {
  return Sans(11);
}

QFont StatusCellFont() {
  QFont font = Sans(13);
  font.setBold(true);
  return font;
}

QFont AboutLabelFont() {
  return Sans(13);
}

QFont LogFont() {
  return Pick(
      {"Lucida Console", "DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono", "Courier New"},
      QFontDatabase::FixedFont, 11);
}

QFont EditFont() {
  return Pick({"Courier", "Courier New", "Liberation Mono", "DejaVu Sans Mono", "Noto Sans Mono"},
              QFontDatabase::FixedFont, 11);
}

void GrowToFit(QWidget* control, bool rightAligned) {
  const int needed = control->sizeHint().width();
  QRect place = control->geometry();
  if (needed <= place.width() || control->parentWidget() == nullptr)
    return;
  if (rightAligned) {
    place.setLeft(std::max(0, place.right() + 1 - needed));
  } else {
    place.setWidth(std::min(needed, control->parentWidget()->width() - place.left()));
  }
  control->setGeometry(place);
}

}  // namespace vr512b::gui
