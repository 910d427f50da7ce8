#pragma once
#include "core/RefPtr.h"
#include "ui/FontSpec.h"
#include "ui/Menu.h"
#include "ui/MenuBar.h"

namespace talvinor {

class Page;
class Window;

// The frame's menu bar: "終了", which acts at once, and the "ツール" popup,
// rebuilt for each page with the page's own items, a separator when there
// are any, and the frame's "画面消灯". A frame without a bar (one that could
// not be made) still works; every call is then harmless.
class FrameMenu {
 public:
  static constexpr int kExit = 40001;
  static constexpr int kDisplayOff = 40010;

  FrameMenu() = default;
  FrameMenu(const FrameMenu&) = delete;
  FrameMenu& operator=(const FrameMenu&) = delete;

  // Puts the bar on `frame`; false, and no bar, when it cannot be made.
  bool Create(Window* frame);
  // Takes the bar off its window.
  void Destroy();
  // Fills the tools popup for `current` (null: the frame's item only).
  void RebuildTools(Page* current);
  void SetFont(const FontSpec& font);
  // The bar's height; 0 without a bar.
  int Height() const;

  MenuBar* Bar() const { return m_bar.Get(); }
  Menu* Tools() const { return m_tools.Get(); }

 private:
  RefPtr<MenuBar> m_bar;  // null when the bar could not be made
  RefPtr<Menu> m_tools;
};

}  // namespace talvinor
