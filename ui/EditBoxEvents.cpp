#include "ui/EditBoxEvents.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include "ui/ErrorBox.h"

namespace ui {

TEventRelay::TFilter EditBoxFilter(TEditBoxHandlers handlers) {
  return [handlers = std::move(handlers)](QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (box == nullptr) {
      return false;
    }
    switch (event->type()) {
      case QEvent::FocusIn:
        if (handlers.Entered) {
          RunGuarded([&] { handlers.Entered(*box); });
        }
        break;
      case QEvent::FocusOut: {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (handlers.Left && reason != Qt::ActiveWindowFocusReason &&
            reason != Qt::PopupFocusReason) {
          RunGuarded([&] { handlers.Left(*box); });
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
