#include "ui/Fonts.h"

#include <QFontDatabase>

namespace ui {

namespace {

constexpr int kDefaultPointSize = 8;

struct TFaceSubstitute {
  const char* face;
  const char* substitute;
};

// Metric-compatible faces from Debian's fonts-liberation2, fonts-liberation
// and fonts-dejavu-core: a text keeps the width the layout was drawn for.
constexpr TFaceSubstitute kSubstitutes[] = {
    {"MS Sans Serif", "Liberation Sans"},
    {"Arial", "Liberation Sans"},
    {"Arial Narrow", "Liberation Sans Narrow"},
    {"Verdana", "DejaVu Sans"},
};

QString SubstituteOf(const QString& face) {
  for (const TFaceSubstitute& entry : kSubstitutes) {
    if (face.compare(QLatin1String(entry.face), Qt::CaseInsensitive) == 0) {
      return QString::fromLatin1(entry.substitute);
    }
  }
  return face;
}

}  // namespace

QFont DefaultFont() {
  QFont font = FaceFont(QStringLiteral("MS Sans Serif"));
  font.setPointSize(kDefaultPointSize);
  return font;
}

QFont FaceFont(const QString& face) {
  const QString family = SubstituteOf(face);
  const bool installed = QFontDatabase::hasFamily(family);
  QFont font(installed ? family : QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  // Without the narrow face, a condensed sans-serif comes closest to its widths.
  if (!installed && family.endsWith(QLatin1String("Narrow"))) {
    font.setStretch(QFont::SemiCondensed);
  }
  return font;
}

}  // namespace ui
