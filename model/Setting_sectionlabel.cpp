#include "model/Setting_sectionlabel.h"

#include <QFont>
#include <QLabel>

#include "ui/Fonts.h"

namespace model {

namespace {

constexpr int kHeadingLeft = 200;
constexpr int kHeadingWidth = 140;
constexpr int kHeadingPointSize = 15;

}  // namespace

TSettingSectionLabel::TSettingSectionLabel(TGroup* group, const std::string& caption)
    : TSetting(group, 0) {
  SetName(caption);
}

void TSettingSectionLabel::CreateControls(QWidget* page, int index, int top) {
  auto* label = new QLabel(page);
  label->hide();
  QFont font = ui::FaceFont(QStringLiteral("Arial"));
  font.setPointSize(kHeadingPointSize);
  font.setBold(true);
  label->setFont(font);
  label->setEnabled(Enabled());
  label->setProperty(kTagProperty, index);
  HeadingLabel = label;
  UpdateDisplay(true);
  // At least the row's width; a longer caption is not cut off.
  label->adjustSize();
  label->setGeometry(kHeadingLeft, top, std::max(kHeadingWidth, label->width()), label->height());
  label->show();
}

void TSettingSectionLabel::DestroyControls() {
  TSetting::DestroyControls();
  delete HeadingLabel.data();
}

void TSettingSectionLabel::SetEnabled(bool enabled) {
  TSetting::SetEnabled(enabled);
  if (HeadingLabel) {
    HeadingLabel->setEnabled(enabled);
  }
}

void TSettingSectionLabel::UpdateDisplay(bool) {
  if (HeadingLabel) {
    HeadingLabel->setText(QString::fromStdString(Name()));
  }
}

void TSettingSectionLabel::RequestWrite() {}

}  // namespace model
