#pragma once
// The Qt message sink of a window (ui/ only): posted messages become a custom
// event on the UI thread, Qt timers become WM_TIMER, and size changes and
// close requests of the widget become WM_SIZE and WM_CLOSE.
#include <QEvent>
#include <QObject>

#include <map>

#include "platform/window/WindowMessages.h"

class QWidget;

namespace talvinor {

class Window;

class QtMessageSink : public QObject, public MessageSink {
 public:
  // A child of `widget`, so it goes with it; `outer` is the frame around a
  // top-level window (or null).
  QtMessageSink(Window* window, QWidget* widget, QWidget* outer);
  ~QtMessageSink() override;

  // Any thread; called under the window registry's lock.
  void Deliver(const WindowMessage& message) override;
  // The window unbinds: nothing more reaches it.
  void Forget();

  bool SetTimer(uint32_t timerId, uint32_t periodMs);
  bool KillTimer(uint32_t timerId);

  static QEvent::Type MessageEventType();

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Window* m_window;  // null once forgotten
  QWidget* m_widget;
  QWidget* m_outer;
  std::map<uint32_t, int> m_timers;  // WM_TIMER id -> Qt timer id
};

}  // namespace talvinor
