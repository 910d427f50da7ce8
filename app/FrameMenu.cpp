#include "app/FrameMenu.h"

#include "platform/Trace.h"
#include "ui/Page.h"

namespace talvinor {

namespace {

constexpr const wchar_t* kExitText = L"終了";
constexpr const wchar_t* kToolsText = L"ツール";
constexpr const wchar_t* kDisplayOffText = L"画面消灯";

}  // namespace

bool FrameMenu::Create(Window* frame) {
  m_bar = talvinor::Create<MenuBar>();
  if (!m_bar->Create(frame)) {
    Trace("FrameWindow::OnCreate - no menu bar\r\n");
    m_bar = nullptr;
    return false;
  }
  m_bar->AppendItem(kExit, kExitText);
  m_tools = m_bar->AppendPopup(kToolsText);
  return true;
}

void FrameMenu::Destroy() {
  if (m_bar) m_bar->DestroyBar();
}

void FrameMenu::RebuildTools(Page* current) {
  if (!m_tools) return;
  m_tools->Clear();
  if (current && current->ContributeToolsMenu(m_tools.Get())) m_tools->AppendSeparator();
  m_tools->AppendItem(kDisplayOff, kDisplayOffText);
}

void FrameMenu::SetFont(const FontSpec& font) {
  if (m_bar) m_bar->SetFont(font);
}

int FrameMenu::Height() const { return m_bar ? m_bar->Height() : 0; }

}  // namespace talvinor
