#pragma once

#include <QObject>
#include <functional>

namespace ui {

// Receives signals and filtered events on behalf of an object that is not a
// QObject (a setting row). Connections made with the relay as their context
// end when the relay goes, so a control that outlives its owner can no longer
// call into it.
class TEventRelay : public QObject {
  Q_OBJECT

 public:
  // Returns true when the event was consumed.
  using TFilter = std::function<bool(QObject* watched, QEvent* event)>;

  void SetFilter(TFilter filter) { filter_ = std::move(filter); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    return filter_ ? filter_(watched, event) : false;
  }

 private:
  TFilter filter_;
};

}  // namespace ui
