#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/RefPtr.h"
#include "ui/FontSpec.h"
#include "ui/Menu.h"

class QMenuBar;

namespace talvinor {

class Window;

// The menu bar of a top-level window: command items that act at once
// ("終了") and popups ("ツール"). Commands go to the window as WM_COMMAND.
class MenuBar : public RefObject {
 public:
  MenuBar();

  // Places the bar in `topLevel`'s frame, above its client area.
  bool Create(Window* topLevel);
  // Removes the bar from its window.
  void DestroyBar();

  void AppendItem(int id, const std::wstring& text);
  RefPtr<Menu> AppendPopup(const std::wstring& text);
  bool Invoke(int id);
  int Height() const;
  // The font of the bar and its popups (the skin's, so that a VGA frame has
  // a menu of its size).
  void SetFont(const FontSpec& font);

  QMenuBar* Handle() const { return m_bar; }  // ui/ only

 protected:
  ~MenuBar() override;

 private:
  QMenuBar* m_bar = nullptr;  // owned by the window's frame
  WindowId m_owner = 0;
  std::vector<RefPtr<Menu>> m_popups;
};

}  // namespace talvinor
