#include "model/EditBox.h"

#include <QLineEdit>

#include "model/Setting.h"
#include "ui/EditBoxEvents.h"
#include "ui/EventRelay.h"

namespace model {

TEditBox::TEditBox() = default;

TEditBox::~TEditBox() = default;

QLineEdit* TEditBox::Create(QWidget* page, int tag, const QRect& geometry,
                            TEditBehaviour behaviour) {
  Destroy();
  behaviour_ = std::move(behaviour);
  auto* box = new QLineEdit(page);
  box->hide();
  box->setGeometry(geometry);
  box->setProperty(TSetting::kTagProperty, tag);
  if (!behaviour_.Check) {
    box->setReadOnly(true);
  } else {
    if (!relay_) {
      relay_ = std::make_unique<ui::TEventRelay>();
    }
    relay_->SetFilter(ui::EditBoxFilter({
        .Entered = [this](QLineEdit&) { Enter(); },
        .Left = [this](QLineEdit&) { Leave(); },
        .KeyPressed = [this](QLineEdit&, int key) { KeyPress(key); },
    }));
    box->installEventFilter(relay_.get());
  }
  box_ = box;
  return box;
}

void TEditBox::Destroy() {
  entered_ = false;
  if (QLineEdit* box = box_.data()) {
    if (relay_) {
      box->removeEventFilter(relay_.get());
    }
    delete box;
  }
}

void TEditBox::SetEnabled(bool enabled) {
  if (!box_) {
    return;
  }
  if (behaviour_.Check) {
    box_->setReadOnly(!enabled);
  }
  box_->setEnabled(enabled);
}

void TEditBox::SetText(const QString& text) {
  if (box_) {
    box_->setText(text);
  }
}

void TEditBox::Enter() {
  if (!box_ || !behaviour_.Check) {
    return;
  }
  entered_ = true;
  if (behaviour_.EntryText) {
    box_->setText(behaviour_.EntryText());
    box_->selectAll();
  }
  entryText_ = box_->text().toStdString();
}

void TEditBox::KeyPress(int key) {
  if (box_ && behaviour_.Check && behaviour_.CheckOnEnterKey &&
      (key == Qt::Key_Return || key == Qt::Key_Enter)) {
    ShowRefusal(behaviour_.Check(box_->text().toStdString()));
  }
}

void TEditBox::Leave() {
  // A box that never had the focus shows its value, not an entry.
  if (!box_ || !entered_) {
    return;
  }
  entered_ = false;
  const std::string text = box_->text().toStdString();
  const TRefusal refusal = behaviour_.Check(text);
  if (!refusal) {
    behaviour_.Take(text);
    return;
  }
  if (behaviour_.ShowValue) {
    if (text != entryText_) {
      ShowRefusal(refusal);
    }
    behaviour_.ShowValue();
    return;
  }
  ShowRefusal(refusal);
  // The entry stays for the user to mend.
  entered_ = true;
  ui::ReturnFocusTo(*box_);
}

}  // namespace model
