#include "ui/StatusLine.h"

#include <QPainter>
#include <QWidget>

#include <system_error>

#include "core/ScopedLock.h"
#include "platform/Clock.h"
#include "platform/ManualResetEvent.h"
#include "platform/Trace.h"
#include "ui/QtConversions.h"

namespace talvinor {

// Everything the worker and the painter share.
class StatusLine::State : public RefObject {
 public:
  CriticalSectionObject* Lock() { return m_lock.Get(); }

  // guarded by Lock()
  std::wstring normalText;
  std::wstring messageText;
  StatusShown shown = StatusShown::Normal;
  ColorRef normalBackground = kWhite;
  ColorRef flash = kWhite;
  ColorRef background = kWhite;
  uint32_t fadeMs = kFadeMs;
  uint32_t showMs = kShowMs;

 private:
  RefPtr<CriticalSectionObject> m_lock = talvinor::Create<CriticalSectionObject>();
};

// One worker run: the request to stop and the signal that it ended.
class StatusLine::Run : public RefObject {
 public:
  ManualResetEvent stop;
  ManualResetEvent ended;
};

namespace {

class StatusLineWidget : public QWidget {
 public:
  StatusLineWidget(RefPtr<StatusLine::State> state, QWidget* parent) : QWidget(parent), m_state(std::move(state)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    Locker lock(m_state->Lock());
    painter.fillRect(rect(), ToQColor(m_state->background));
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::TransparentMode);
    const std::wstring& text =
        m_state->shown == StatusShown::Message ? m_state->messageText : m_state->normalText;
    QString line = ToQString(text);
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    painter.drawText(rect().adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, line);
  }

 private:
  RefPtr<StatusLine::State> m_state;
};

}  // namespace

StatusLine::StatusLine() : m_state(talvinor::Create<State>()) {}

StatusLine::~StatusLine() {
  if (!StopWorker(1000) && m_worker.joinable()) {
    // It holds its own references to what it touches; let it end alone.
    m_worker.detach();
  }
}

QWidget* StatusLine::CreateWidget(QWidget* parent, const std::wstring& text, uint32_t) {
  {
    Locker lock(m_state->Lock());
    m_state->normalText = text;
  }
  return new StatusLineWidget(m_state, parent);
}

intptr_t StatusLine::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == kWmDestroy && !StopWorker(1000) && m_worker.joinable()) m_worker.detach();
  return Window::HandleMessage(message, wParam, lParam);
}

ColorRef StatusLine::Blend(ColorRef normal, ColorRef flash, int weight) {
  auto channel = [weight](int n, int f) { return (n * (256 - weight) + f * weight) / 256; };
  return MakeRgb(channel(RedOf(normal), RedOf(flash)), channel(GreenOf(normal), GreenOf(flash)),
                 channel(BlueOf(normal), BlueOf(flash)));
}

bool StatusLine::StopWorker(uint32_t waitMs) {
  if (!m_run) return true;
  m_run->stop.Set();
  if (!m_run->ended.Wait(waitMs)) {
    Trace("StatusLine::StopWorker - the worker did not stop within %u ms\r\n", waitMs);
    return false;
  }
  if (m_worker.joinable()) m_worker.join();
  m_run = nullptr;
  return true;
}

void StatusLine::SetNormalText(const std::wstring& text) {
  if (!StopWorker(500)) return;
  {
    Locker lock(m_state->Lock());
    m_state->normalText = text;
    m_state->shown = StatusShown::Normal;
    m_state->background = m_state->normalBackground;
  }
  Redraw();
}

void StatusLine::ShowMessage(const std::wstring& text, ColorRef flash, uint32_t fadeMs, uint32_t showMs) {
  {
    Locker lock(m_state->Lock());
    m_state->fadeMs = fadeMs;
    m_state->flash = flash;
  }
  if (!StopWorker(1000)) return;
  {
    Locker lock(m_state->Lock());
    m_state->messageText = text;
    m_state->shown = StatusShown::Message;
    m_state->background = flash;
    m_state->showMs = showMs;
  }
  Redraw();
  RefPtr<Run> run = talvinor::Create<Run>();
  try {
    m_worker = std::thread(&StatusLine::WorkerBody, m_state, run, Id());
    m_run = run;
  } catch (const std::system_error& e) {
    Trace("StatusLine::ShowMessage - the worker could not start: %s\r\n", e.what());
    Locker lock(m_state->Lock());
    m_state->shown = StatusShown::Normal;
    m_state->background = m_state->normalBackground;
    Redraw();
  }
}

void StatusLine::WorkerBody(RefPtr<State> state, RefPtr<Run> run, WindowId window) {
  const uint32_t t0 = GetTickCount();
  ColorRef normal;
  ColorRef flash;
  uint32_t fadeMs;
  uint32_t showMs;
  {
    Locker lock(state->Lock());
    normal = state->normalBackground;
    flash = state->flash;
    fadeMs = state->fadeMs;
    showMs = state->showMs;
  }
  // The fade: weight 256 (all flash) down to 0 (all normal), redrawn each
  // time it changes, looked at every 100 ms.
  int lastWeight = -1;
  for (;;) {
    const uint32_t elapsed = TicksSince(t0, GetTickCount());
    int weight = 0;
    if (fadeMs > 0 && elapsed < fadeMs) weight = 256 - static_cast<int>((uint64_t{elapsed} * 256) / fadeMs);
    if (weight != lastWeight) {
      {
        Locker lock(state->Lock());
        state->background = Blend(normal, flash, weight);
      }
      PostMessage(window, kWmPaint, 0, 0);
      lastWeight = weight;
    }
    if (weight == 0) break;
    if (run->stop.Wait(100)) {
      run->ended.Set();
      return;
    }
  }
  // Shown until the display time has passed since the start.
  for (;;) {
    const uint32_t elapsed = TicksSince(t0, GetTickCount());
    if (elapsed >= showMs) break;
    if (run->stop.Wait(std::min<uint32_t>(100, showMs - elapsed))) {
      run->ended.Set();
      return;
    }
  }
  {
    Locker lock(state->Lock());
    state->shown = StatusShown::Normal;
    state->background = state->normalBackground;
  }
  PostMessage(window, kWmPaint, 0, 0);
  run->ended.Set();
}

void StatusLine::SetNormalBackground(ColorRef colour) {
  Locker lock(m_state->Lock());
  m_state->normalBackground = colour;
  if (m_state->shown == StatusShown::Normal) m_state->background = colour;
  Redraw();
}

StatusShown StatusLine::Shown() const {
  Locker lock(m_state->Lock());
  return m_state->shown;
}

std::wstring StatusLine::ShownText() const {
  Locker lock(m_state->Lock());
  return m_state->shown == StatusShown::Message ? m_state->messageText : m_state->normalText;
}

ColorRef StatusLine::CurrentBackground() const {
  Locker lock(m_state->Lock());
  return m_state->background;
}

uint32_t StatusLine::FadeTime() const {
  Locker lock(m_state->Lock());
  return m_state->fadeMs;
}

uint32_t StatusLine::DisplayTime() const {
  Locker lock(m_state->Lock());
  return m_state->showMs;
}

bool StatusLine::IsWorkerRunning() const { return m_run && !m_run->ended.IsSet(); }

}  // namespace talvinor
