#pragma once

#include <QPixmap>

namespace vr512b::gui {

// The maker's logo, drawn in code on a transparent 200 x 100 picture.
QPixmap KorvexLogo();

}  // namespace vr512b::gui
