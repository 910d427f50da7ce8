#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/RefPtr.h"
#include "platform/window/WindowMessages.h"

class QMenu;

namespace talvinor {

class Window;

// A popup menu of command items. Choosing an item sends WM_COMMAND (item id,
// 0) to the menu's owner window, as the handset's menus do. UI thread only.
class Menu : public RefObject {
 public:
  Menu();

  // The window that receives the commands (kept by id: a closed owner
  // simply gets nothing).
  void SetOwner(Window* owner);
  WindowId Owner() const { return m_owner; }

  void AppendItem(int id, const std::wstring& text);
  void AppendSeparator();
  // A sub-menu under `text`; it shares this menu's owner.
  RefPtr<Menu> AppendPopup(const std::wstring& text);
  // Deletes every item, as deleting by position 0 until nothing is left.
  void Clear();

  int ItemCount() const;       // separators and popups included
  int ItemId(int position) const;  // 0 for separators and popups
  std::wstring ItemText(int position) const;
  bool HasItem(int id) const;
  void CheckItem(int id, bool checked);
  bool IsChecked(int id) const;
  void EnableItem(int id, bool enabled);

  // Drops the menu down at a point of `owner`'s client area and waits for
  // the choice; returns the chosen id (0 when dismissed). With `sendCommand`
  // the owner also gets the WM_COMMAND.
  int Track(Window* owner, int x, int y, bool sendCommand);
  // Chooses item `id` as the user would (the frame's tests, the key
  // accelerators); false when there is no such enabled item.
  bool Invoke(int id);

  QMenu* Handle() const { return m_menu.get(); }  // ui/ only

 protected:
  ~Menu() override;

 private:
  void SendCommand(int id);

  std::unique_ptr<QMenu> m_menu;
  WindowId m_owner = 0;
  bool m_tracking = false;  // Track answers the choice instead of sending it
  std::vector<RefPtr<Menu>> m_popups;
};

}  // namespace talvinor
