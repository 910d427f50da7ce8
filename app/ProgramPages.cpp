#include "app/ProgramPages.h"

#include "memo/MemoPage.h"
#include "player/PlayerPage.h"
#include "player/StorageRootCombo.h"
#include "recorder/CallRecording.h"
#include "recorder/RecorderPage.h"
#include "ui/ManualPage.h"
#include "ui/SettingsPage.h"

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
    case PageId::Settings: {
      RefPtr<SettingsPage> settings = talvinor::Create<SettingsPage>();
      // The folder menu offers the page's own, not yet applied, folders.
      settings->SetFolderMenu([](Window* anchor, RefPtr<CONFIG> working, std::wstring* folder) {
        StorageRootSources sources;
        sources.settings = std::move(working);
        return StorageRootCombo::DropDownUnder(anchor, sources, folder);
      });
      return settings;
    }
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
