#pragma once
#include <string>

#include "core/RefPtr.h"
#include "ui/Window.h"

namespace talvinor {

// Which text the status line shows.
enum class StatusShown {
  Normal,   // the normal text on the normal background
  Message,  // a message, fading from its flash colour, until its time is up
};

// "PLOV_CTL_STATIC_ROLL": the frame's one-line message area. A message
// appears on its flash colour, fades to the normal background over the fade
// time, and after the display time (counted from its start) the normal text
// returns. A short-lived worker thread drives the fade; it touches only the
// shared colours and texts under their lock and asks for redraws by posting
// kWmPaint, so it never reaches a window that is gone.
class StatusLine : public Window {
  TALVINOR_CLASS_CODES(0x4009, 0x4000)

 public:
  static constexpr uint32_t kFadeMs = 3000;
  static constexpr uint32_t kShowMs = 10000;
  static constexpr ColorRef kWhite = 0x00FFFFFF;

  StatusLine();
  const wchar_t* ClassName() const override { return L"PLOV_CTL_STATIC_ROLL"; }
  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  void SetText(const std::wstring& text) override { SetNormalText(text); }
  std::wstring GetText() const override { return ShownText(); }

  // Stops a running message (waiting at most 500 ms; if the worker does not
  // stop, nothing changes) and shows `text` on the normal background.
  void SetNormalText(const std::wstring& text);
  // Shows `text` from `flash` (waiting at most 1000 ms for a running
  // message's worker; if it does not stop, nothing changes). The frame uses
  // the default times.
  void ShowMessage(const std::wstring& text, ColorRef flash, uint32_t fadeMs = kFadeMs, uint32_t showMs = kShowMs);
  void SetNormalBackground(ColorRef colour);

  StatusShown Shown() const;
  std::wstring ShownText() const;
  ColorRef CurrentBackground() const;
  uint32_t FadeTime() const;
  uint32_t DisplayTime() const;
  bool IsWorkerRunning() const;

  // The background `weight` (0..256) of the way from `normal` to `flash`.
  static ColorRef Blend(ColorRef normal, ColorRef flash, int weight);

  class State;  // shared with the worker

 protected:
  ~StatusLine() override;
  QWidget* CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) override;

 private:
  class Fader;
  bool StopWorker(uint32_t waitMs);

  RefPtr<State> m_state;
  RefPtr<Fader> m_fader;  // the running message's worker, or null
};

}  // namespace talvinor
