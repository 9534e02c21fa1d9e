#pragma once

#include <QFont>
#include <QString>

namespace ui {

// The default font of windows and setting rows: Liberation Sans at 8 points,
// which has the widths of the classic desktop font the layout was drawn for;
// the system sans-serif where it is not installed. Text measurements use this
// font.
QFont DefaultFont();

// A font of one of the faces the windows name ("Arial", "Arial Narrow",
// "Verdana"), set in the free face with the same widths (Liberation Sans,
// Liberation Sans Narrow, DejaVu Sans), or in the system sans-serif where
// that face is not installed. Size and weight are the caller's.
QFont FaceFont(const QString& face);

}  // namespace ui
