#include "app/FocusWalker.h"

#include <algorithm>
#include <vector>

#include "ui/Page.h"

namespace talvinor {

bool FocusWalker::HandleKey(Page* page, const WindowMessage& key) {
  if (!page->OnKeyNavigate(key)) return true;
  if (key.message != kWmKeyDown) return false;
  if (key.wParam == kVkUp || key.wParam == kVkDown) {
    Move(page, key.wParam == kVkDown);
    return true;
  }
  if (key.wParam == '0' && (key.lParam & kKeyRepeatBit) == 0) {
    m_host->FocusDefaultControl();
    return true;
  }
  return false;
}

void FocusWalker::Move(Page* page, bool forward) {
  std::vector<Window*> stops;
  for (Window* child : page->Children()) {
    if (child->HasStyle(kWsTabStop) && child->IsVisible() && child->IsEnabled() && page->OnFocusChild(child)) {
      stops.push_back(child);
    }
  }
  // Where the focus is now: one of the stops (or inside one), else the tab bar.
  int at = -1;
  for (Window* w = Window::FocusedWindow(); w && at < 0; w = w->Parent()) {
    auto it = std::find(stops.begin(), stops.end(), w);
    if (it != stops.end()) at = static_cast<int>(it - stops.begin());
  }
  const int count = static_cast<int>(stops.size());
  int next;
  if (at < 0) {
    next = forward ? 0 : count - 1;
  } else {
    next = forward ? at + 1 : at - 1;
  }
  // Past either end lies the tab bar.
  if (next < 0 || next >= count) {
    m_host->FocusDefaultControl();
  } else {
    stops[static_cast<size_t>(next)]->SetFocus();
  }
}

}  // namespace talvinor
