#include "app/ProgramPages.h"

#include "app/EmptyPage.h"
#include "memo/MemoPage.h"
#include "player/PlayerPage.h"
#include "recorder/CallRecording.h"
#include "recorder/RecorderPage.h"
#include "ui/ManualPage.h"

namespace talvinor {

bool RenameCallRecording(CRecWaveIn& master, Page& page) {
  const CallRenameResult result =
      RenameWithCallInfo(&master, CallHistory::FromSettings(),
                         [&page](const std::wstring& text) { page.ShowMessageText(text, Page::kErrorColour); });
  return result.renamed;
}

RefPtr<Page> MakeProgramPage(PageId page, const PageContext& context) {
  switch (page) {
    case PageId::Recorder: {
      RefPtr<RecorderPage> recorder = talvinor::Create<RecorderPage>(context.recordingMaster);
      recorder->SetCallInfoRename(&RenameCallRecording);
      return recorder;
    }
    case PageId::Player:
      return talvinor::Create<PlayerPage>(context);
    case PageId::Memo:
      return talvinor::Create<MemoPage>(context.conversionMaster);
    case PageId::Settings:
      return talvinor::Create<EmptyPage>(SkinPage::Settings);
    case PageId::Manual:
      return talvinor::Create<ManualPage>();
  }
  return nullptr;
}

}  // namespace talvinor

namespace talvinor {

bool StartDesktopMediaControls(Page* player, const std::string& nameSuffix) {
  if (!player || !player->IsKindOf(PlayerPage::kTypeCode)) return false;
  return static_cast<PlayerPage*>(player)->StartMediaControls(nameSuffix);
}

}  // namespace talvinor
