#pragma once

#include <QFont>

class QWidget;

namespace vr512b::gui {

// The fonts the windows were drawn for are Windows fonts; elsewhere a family
// of the same kind that has Cyrillic glyphs stands in, so the Russian texts
// never fall back to boxes.
QFont WindowFont();      // "MS Sans Serif", 11 px
QFont StatusCellFont();  // "MS Sans Serif", bold, 13 px
QFont LogFont();         // "Lucida Console", 11 px
QFont EditFont();        // "Courier", 11 px
QFont AboutLabelFont();  // "MS Sans Serif", 13 px

// A caption that a stand-in font makes wider than designed grows its control
// (leftwards when right-aligned) rather than being cut off.
void GrowToFit(QWidget* control, bool rightAligned);

}  // namespace vr512b::gui
