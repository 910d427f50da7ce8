#pragma once
#include <string>

namespace talvinor {

class Command;

// The frame's pages, in the order of its tabs.
enum class PageId {
  Recorder = 0,
  Player = 1,
  Memo = 2,
  Settings = 3,
  Manual = 4,
};

// Why the frame asks a page whether it may be left.
enum class LeaveReason {
  UserSwitch = 1,     // the user selects another tab
  MenuExit = 2,       // exit from the menu or a window close
  CommandSwitch = 3,  // an external command needs another page
  CommandExit = 4,    // the exit command
};

// What the command executor needs of a page; every page implements it.
class CommandPage {
 public:
  // True when the page may be left (or the program closed) now.
  virtual bool MayLeave(LeaveReason reason) = 0;
  // Acts on the commands that concern the page and ignores the rest; true
  // when handled.
  virtual bool ExecuteCommand(Command* command) = 0;

 protected:
  ~CommandPage() = default;
};

// What the command executor needs of the frame window; the frame implements
// it. Called on the UI thread only.
class CommandHost {
 public:
  // False while a modal dialog or message box is open.
  virtual bool IsEnabled() = 0;
  // The current page, or null when none is current yet.
  virtual CommandPage* CurrentPage() = 0;
  // The page of the tab selected in the tab control.
  virtual PageId SelectedPage() = 0;
  // Selects `page`'s tab and makes that page current.
  virtual void SelectPage(PageId page) = 0;
  // Closes the program the way the menu's exit does.
  virtual void CloseProgram() = 0;
  // Moves the frame to the bottom of the z-order without activating it and hides it.
  virtual void HideWindow() = 0;
  // Shows the frame and brings it to the foreground.
  virtual void BringToForeground() = 0;
  // Notices and errors in the frame's message area.
  virtual void ShowNotice(const std::wstring& text) = 0;
  virtual void ShowError(const std::wstring& text) = 0;
  // Posts the frame 0x8001 so that it runs the command queue.
  virtual void PostRunCommandQueue() = 0;

 protected:
  ~CommandHost() = default;
};

}  // namespace talvinor
