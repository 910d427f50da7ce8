#pragma once
#include <string>

#include "ui/Window.h"

namespace talvinor {

// A modal dialog. DoModal makes the dialog window, sends kWmInitDialog
// (create the controls there), runs it in a nested event loop - posted
// messages are still handled meanwhile - and answers the result given to
// EndDialog. Escape and the window's close button send WM_COMMAND kIdCancel;
// unless the class handles it, that ends the dialog with kIdCancel.
class Dialog : public Window {
  TALVINOR_CLASS_CODES(0x4040, 0x4000)

 public:
  // -1 when `parent` has no window.
  int DoModal(Window* parent, const std::wstring& caption, int width, int height);
  void EndDialog(int result);
  bool IsRunning() const { return m_running; }

  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

 protected:
  QWidget* CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) override;

 private:
  bool m_running = false;
};

}  // namespace talvinor
