#pragma once
#include <cstdint>

#include "command/CommandHost.h"
#include "ui/UiTypes.h"
#include "ui/Window.h"

namespace talvinor {

class Menu;
class StatusLine;

// What a page needs of the frame that holds it.
class PageHost {
 public:
  // The frame's message area (null while there is none).
  virtual StatusLine* MessageArea() = 0;
  // Re-reads the recorder's and player's states into the window title.
  virtual void UpdateTitle() = 0;
  // Gives the focus to the frame's default control (the tab bar).
  virtual void FocusDefaultControl() = 0;
  // The frame window: owner of the pages' message boxes.
  virtual WindowId FrameId() const = 0;

 protected:
  ~PageHost() = default;
};

// The base of the frame's five pages: a window of the page class with the
// operations the frame and the command executor call (CommandPage), and the
// page's way to the message area.
class Page : public Window, public CommandPage {
  TALVINOR_CLASS_CODES(0x4100, 0x4000)

 public:
  static constexpr ColorRef kNoticeColour = 0x0080FF80;  // light green
  static constexpr ColorRef kErrorColour = 0x004040FF;   // red

  const wchar_t* ClassName() const override { return L"TALVINOR_PAGE_WINDOW_CLASS"; }

  void SetHost(PageHost* host) { m_host = host; }
  PageHost* Host() const { return m_host; }

  // The page has become current.
  virtual void OnActivate() {}
  // True when the page may be left (or the program closed) now.
  bool MayLeave(LeaveReason) override { return true; }
  // An external command of the command queue; true when handled.
  bool ExecuteCommand(Command*) override { return false; }
  // Adds the page's own items to the frame's tools popup; true when it did
  // (the frame then adds a separator before its own item).
  virtual bool ContributeToolsMenu(Menu*) { return false; }
  // Reposition the children after a size change.
  virtual void OnLayout() {}
  // Menu commands 40020 to 40090.
  virtual void OnMenuCommand(int, int) {}
  // A key (kWmKeyDown / kWmKeyUp) before the focused control gets it;
  // answers whether the frame's own key handling still applies (false:
  // consumed).
  virtual bool OnKeyNavigate(const WindowMessage&) { return true; }
  // Whether the frame's key navigation may move the focus to `child`.
  virtual bool OnFocusChild(Window*) { return true; }
  // Release resources before the frame closes.
  virtual void OnClose() {}

  // Messages in the frame's message area, formatted (wide strings as %ls)
  // and cut to 256 characters.
  void ShowNotice(const wchar_t* format, ...);
  void ShowError(const wchar_t* format, ...);
  void ShowMessageText(const std::wstring& text, ColorRef colour);

 private:
  PageHost* m_host = nullptr;  // the frame outlives its pages
};

}  // namespace talvinor
