#pragma once

#include <QCoreApplication>
#include <QThread>

namespace ui {

// Whether the caller runs on the thread of the application object: the only thread that may
// touch widgets. False without an application (command-line work that shows nothing).
inline bool OnGuiThread() {
  const QCoreApplication* application = QCoreApplication::instance();
  return application != nullptr && QThread::currentThread() == application->thread();
}

}  // namespace ui
