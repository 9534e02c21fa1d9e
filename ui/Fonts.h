#pragma once

#include <QFont>

namespace ui {

// The default font of windows and setting rows: the system sans-serif at
// 8 points (the classic desktop font the layout was drawn for is not
// available on Linux). Text measurements use this font.
QFont DefaultFont();

}  // namespace ui
