#include "app/EmptyPage.h"

namespace talvinor {

intptr_t EmptyPage::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == kWmCreate) {
    OnLayout();
    return 0;
  }
  return Page::HandleMessage(message, wParam, lParam);
}

void EmptyPage::OnLayout() {
  // The page's colours and background come from the skin, like every page's.
  PageLayout::Get(m_skinPage)->Apply(this);
}

}  // namespace talvinor
