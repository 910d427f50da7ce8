#include "command/CommandExecutor.h"

#include "command/ChannelText.h"
#include "command/CommandServer.h"
#include "core/TrimBlanks.h"

namespace talvinor {

namespace {

// The page that handles a command which needs a page of its own, if any.
bool TargetPage(CommandKind kind, PageId* page) {
  switch (kind) {
    case CommandKind::Rec:
      *page = PageId::Recorder;
      return true;
    case CommandKind::Play:
      *page = PageId::Player;
      return true;
    case CommandKind::SaveMemo:
      *page = PageId::Memo;
      return true;
    default:
      return false;
  }
}

void HandToCurrentPage(CommandHost* host, Command* command) {
  if (CommandPage* page = host->CurrentPage()) page->ExecuteCommand(command);
}

}  // namespace

bool CommandExecutor::Execute(CommandHost* host, Command* command) {
  if (!host->IsEnabled()) {
    host->ShowNotice(kCommandRefusedNotice);
    return false;
  }
  switch (command->Kind()) {
    case CommandKind::Exit: {
      CommandPage* page = host->CurrentPage();
      if (page && !page->MayLeave(LeaveReason::CommandExit)) return false;
      host->CloseProgram();
      return true;
    }
    case CommandKind::HideWindow:
      host->HideWindow();
      return false;
    case CommandKind::OpenWindow:
      host->BringToForeground();
      host->ShowNotice(kWindowShownNotice);
      return false;
    case CommandKind::Stop:
    case CommandKind::Pause:
    case CommandKind::Restart:
      HandToCurrentPage(host, command);
      return false;
    case CommandKind::Rec:
    case CommandKind::Play:
    case CommandKind::SaveMemo:
      break;
  }
  PageId target = PageId::Recorder;
  TargetPage(command->Kind(), &target);
  if (host->SelectedPage() != target) {
    CommandPage* page = host->CurrentPage();
    if (!page || page->MayLeave(LeaveReason::CommandSwitch)) {
      host->SelectPage(target);
    } else {
      host->ShowNotice(kCommandRefusedNotice);
    }
  }
  // Even a page that refused to be left gets the command; it ignores the
  // kinds that do not concern it.
  HandToCurrentPage(host, command);
  return false;
}

void CommandExecutor::RunQueue(CommandHost* host, CommandQueue* queue) {
  while (RefPtr<Command> command = PopCommand(queue)) {
    if (Execute(host, command.Get())) {
      // The frame and its pages are gone; nothing is left to act on the rest.
      while (PopCommand(queue)) {
      }
      return;
    }
  }
}

void CommandExecutor::TakeChannelMessage(CommandHost* host, CommandServer* server, CommandQueue* queue) {
  std::vector<uint8_t> message;
  if (!server->Receive(&message)) return;
  HandleChannelMessage(host, queue, message);
}

void CommandExecutor::HandleChannelMessage(CommandHost* host, CommandQueue* queue,
                                           const std::vector<uint8_t>& message) {
  std::wstring text = ChannelText::Decode(message);
  TrimBlanks(text);
  if (text.empty()) {
    host->BringToForeground();
    return;
  }
  if (PostCommand(queue, text)) {
    host->PostRunCommandQueue();
  } else {
    host->ShowError(kCommandSyntaxError);
  }
}

}  // namespace talvinor
