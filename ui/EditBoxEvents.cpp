#include "ui/EditBoxEvents.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include "ui/ErrorBox.h"

namespace ui {

namespace {

// Set on a box from the user's arrival until the entry is left for good.
constexpr const char* kEditingProperty = "editing";

}  // namespace

void ReturnFocusTo(QLineEdit& box) {
  box.setProperty(kEditingProperty, true);
  QTimer::singleShot(0, &box, [target = &box] { target->setFocus(Qt::OtherFocusReason); });
}

TEventRelay::TFilter EditBoxFilter(TEditBoxHandlers handlers) {
  return [handlers = std::move(handlers)](QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (box == nullptr) {
      return false;
    }
    switch (event->type()) {
      case QEvent::FocusIn:
        if (!box->property(kEditingProperty).toBool()) {
          box->setProperty(kEditingProperty, true);
          if (handlers.Entered) {
            RunGuarded([&] { handlers.Entered(*box); });
          }
        }
        break;
      case QEvent::FocusOut: {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
          box->setProperty(kEditingProperty, false);
          if (handlers.Left) {
            RunGuarded([&] { handlers.Left(*box); });
          }
        }
        break;
      }
      case QEvent::KeyPress:
        if (handlers.KeyPressed) {
          const int key = static_cast<QKeyEvent*>(event)->key();
          RunGuarded([&] { handlers.KeyPressed(*box, key); });
        }
        break;
      default:
        break;
    }
    return false;
  };
}

}  // namespace ui
