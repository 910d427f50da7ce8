#include "app/EmptyPage.h"

#include <algorithm>

#include "ui/SkinResources.h"

namespace talvinor {

namespace {

// Room between the notice and the page's sides, at quarter-VGA scale.
constexpr int kNoticeMargin = 12;

}  // namespace

intptr_t EmptyPage::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == kWmCreate) {
    m_notice = talvinor::Create<StaticText>();
    // A page without its notice still switches and closes like any other.
    if (!m_notice->Create(kLaterVersionText, kWsChild | kWsVisible | kSsCenter | kSsCenterImage, {}, this, 0)) {
      m_notice = nullptr;
    }
    OnLayout();
    return 0;
  }
  return Page::HandleMessage(message, wParam, lParam);
}

void EmptyPage::OnLayout() {
  // The page's colours and background come from the skin, like every page's;
  // the notice, a label of the page, takes the page's text colour with them.
  PageLayout::Get(m_skinPage)->Apply(this);
  if (!m_notice) return;
  RefPtr<SkinResources> skin = SkinResources::Get();
  m_notice->SetFont(skin->Font(2));
  int width = 0;
  int height = 0;
  GetClientSize(&width, &height);
  const int margin = std::min(kNoticeMargin * skin->Scale(), width / 4);
  m_notice->Move({margin, 0, std::max(0, width - 2 * margin), height});
}

}  // namespace talvinor
