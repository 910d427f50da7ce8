#include "ui/QtMessageSink.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QResizeEvent>
#include <QTimerEvent>
#include <QWidget>

#include "core/RefPtr.h"
#include "platform/Trace.h"
#include "ui/QtConversions.h"
#include "ui/UiTypes.h"
#include "ui/Window.h"

namespace talvinor {

namespace {

class WindowMessageEvent : public QEvent {
 public:
  explicit WindowMessageEvent(const WindowMessage& message)
      : QEvent(QtMessageSink::MessageEventType()), m_message(message) {}
  const WindowMessage& Message() const { return m_message; }

 private:
  WindowMessage m_message;
};

}  // namespace

QEvent::Type QtMessageSink::MessageEventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

QtMessageSink::QtMessageSink(Window* window, QWidget* widget, QWidget* outer)
    : QObject(widget), m_window(window), m_widget(widget), m_outer(outer) {
  MessageEventType();  // registered on the UI thread, before any poster needs it
  widget->installEventFilter(this);
  if (outer) outer->installEventFilter(this);
}

QtMessageSink::~QtMessageSink() {
  // Still bound: Qt is deleting the widget under its window object (its
  // parent went, say). That is the window's destruction; clear the binding.
  if (m_window) m_window->OnWidgetGone();
}

void QtMessageSink::Deliver(const WindowMessage& message) {
  // postEvent is thread-safe; once the window unregisters no Deliver runs,
  // and Qt discards the events still queued for a deleted receiver.
  QCoreApplication::postEvent(this, new WindowMessageEvent(message));
}

void QtMessageSink::Forget() {
  for (auto& [id, qtId] : m_timers) killTimer(qtId);
  m_timers.clear();
  m_window = nullptr;
  if (m_widget) m_widget->removeEventFilter(this);
  if (m_outer) m_outer->removeEventFilter(this);
}

bool QtMessageSink::SetTimer(uint32_t timerId, uint32_t periodMs) {
  KillTimer(timerId);
  const int qtId = startTimer(static_cast<int>(periodMs), Qt::PreciseTimer);
  if (qtId == 0) {
    Trace("QtMessageSink::SetTimer - timer %u could not start\r\n", timerId);
    return false;
  }
  m_timers[timerId] = qtId;
  return true;
}

bool QtMessageSink::KillTimer(uint32_t timerId) {
  auto it = m_timers.find(timerId);
  if (it == m_timers.end()) return false;
  killTimer(it->second);
  m_timers.erase(it);
  return true;
}

bool QtMessageSink::event(QEvent* event) {
  if (event->type() == MessageEventType()) {
    if (m_window) {
      const WindowMessage& m = static_cast<WindowMessageEvent*>(event)->Message();
      DispatchScope scope;
      RefPtr<Window> keep(m_window);  // the handler may release the last outside reference
      keep->HandleMessage(m.message, m.wParam, m.lParam);
    }
    return true;
  }
  if (event->type() == QEvent::Timer) {
    const int qtId = static_cast<QTimerEvent*>(event)->timerId();
    for (const auto& [id, running] : m_timers) {
      if (running != qtId) continue;
      if (m_window) {
        DispatchScope scope;
        RefPtr<Window> keep(m_window);
        keep->HandleMessage(kWmTimer, id, 0);
      }
      return true;
    }
    return true;
  }
  return QObject::event(event);
}

bool QtMessageSink::eventFilter(QObject* watched, QEvent* event) {
  if (!m_window) return false;
  if (watched == m_widget && event->type() == QEvent::Resize) {
    const QSize size = static_cast<QResizeEvent*>(event)->size();
    DispatchScope scope;
    RefPtr<Window> keep(m_window);
    keep->HandleMessage(kWmSize, 0,
                        static_cast<intptr_t>((size.width() & 0xFFFF) | ((size.height() & 0xFFFF) << 16)));
    return false;
  }
  if (watched == m_outer && event->type() == QEvent::Close) {
    // The window decides: a refused close keeps it open.
    event->ignore();
    DispatchScope scope;
    RefPtr<Window> keep(m_window);
    keep->HandleMessage(kWmClose, 0, 0);
    return true;
  }
  return false;
}

}  // namespace talvinor
