#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "model/Refusal.h"

class QRect;
class QWidget;

namespace ui {
class TEventRelay;
}

namespace model {

// What one edit box of a setting row does with an entry; the rest of the box's life is
// TEditBox's.
struct TEditBehaviour {
  // The text the box holds while the user types in it (the bare number, without its unit).
  // Empty: the shown text stays and nothing is selected.
  std::function<QString()> EntryText{};
  // Why a typed text cannot be taken, or nothing.
  std::function<TRefusal(const std::string& text)> Check{};
  // Takes a text that Check accepted, and shows the value again.
  std::function<void(const std::string& text)> Take{};
  // Enter and Return check the text (the refusal is shown, nothing is taken).
  bool CheckOnEnterKey = true;
  // Shows the setting's value again. Given: an entry refused when the user leaves the box is
  // given up, so that the box never shows a value that will not be written: its refusal is
  // shown (unless the text is still the one the box showed on entering, which the user did
  // not type), then ShowValue, and the focus goes where the user sent it. Empty: a refused
  // entry stays in the box, with the focus, for the user to mend.
  std::function<void()> ShowValue{};
};

// One edit box of a setting row and the state of an entry typed into it: made hidden with
// its geometry and the row's tag, entered when the user comes to it, checked with Enter and
// when the user leaves it, given up (or kept with the focus until mended) when refused, and
// forgotten when the box is destroyed. A box made without a behaviour is read-only: it shows
// a value that can be selected and copied, never typed over.
class TEditBox {
 public:
  TEditBox();
  ~TEditBox();
  TEditBox(const TEditBox&) = delete;
  TEditBox& operator=(const TEditBox&) = delete;

  // Makes the box on the page, hidden until the caller shows it.
  QLineEdit* Create(QWidget* page, int tag, const QRect& geometry, TEditBehaviour behaviour = {});
  // Frees the box without handling its last events; an entry under way is forgotten.
  void Destroy();
  // Enables the box; an enabled box takes typing unless it is read-only.
  void SetEnabled(bool enabled);
  void SetText(const QString& text);
  QLineEdit* Box() const { return box_.data(); }
  explicit operator bool() const { return !box_.isNull(); }
  QLineEdit* operator->() const { return box_.data(); }
  QLineEdit& operator*() const { return *box_; }

  // What the user does (the box's events call them; tests may too).
  void Enter();
  void KeyPress(int key);
  void Leave();

 private:
  QPointer<QLineEdit> box_;
  std::unique_ptr<ui::TEventRelay> relay_;
  TEditBehaviour behaviour_;
  bool entered_ = false;
  // What the box held when the user came to it.
  std::string entryText_;
};

}  // namespace model
